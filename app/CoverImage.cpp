// SPDX-License-Identifier: MIT
#include "app/CoverImage.h"

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "app/AtomicFile.h"
#include "app/DataDir.h"
#include "id3v2/ID3v2APICTypes.h"
#include "id3v2/frames/TAPICFrame.h"

// libjpeg's headers need FILE and size_t before them, and jerror.h needs jpeglib.h.
// clang-format off
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

namespace covrilo {

namespace {

// Larger decodes are refused rather than attempted: the limit is far above any cover
// picture (and above the 9999 x 9999 the window allows) but keeps a forged header from
// asking for gigabytes.
constexpr uint64_t kMaxPixels = uint64_t{9999} * 9999;
// The largest picture we decode at all: above any camera's photo, and it bounds what libjpeg
// allocates (a progressive picture keeps all its coefficients, 3 to 6 bytes a pixel) before
// a forged header can ask for gigabytes or minutes of work.
constexpr uint64_t kMaxSourcePixels = uint64_t{1} << 27;
// How many first bytes the picture frame looks at to tell an image's kind.
constexpr size_t kPictureHeadSize = 18;

// libjpeg reports errors through error_exit, which must not return. It jumps back into
// the guarded phase that called libjpeg; that phase returns false and the caller, outside
// any setjmp frame, throws the message. Only trivially destructible objects live in the
// guarded frames, so the jump skips no destructor.
struct TErrorManager {
    jpeg_error_mgr Pub;  // first member: libjpeg sees a jpeg_error_mgr*
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnErrorExit(j_common_ptr Info) {
    auto* err = reinterpret_cast<TErrorManager*>(Info->err);
    (*Info->err->format_message)(Info, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings that mean pixels were made up: libjpeg fills a truncated or corrupt picture
// with grey and goes on, which would silently write a damaged cover into every file.
void OnEmitMessage(j_common_ptr Info, int Level) {
    if (Level >= 0) return;
    switch (Info->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_ARITH_BAD_CODE:
            OnErrorExit(Info);
        default:
            break;  // harmless oddities (extraneous bytes, unknown JFIF revision) are let pass
    }
}

void InitErrorManager(TErrorManager& Err) {
    jpeg_std_error(&Err.Pub);
    Err.Pub.error_exit = OnErrorExit;
    Err.Pub.emit_message = OnEmitMessage;
    Err.Message[0] = '\0';
}

class TDecoder {
   public:
    TDecoder() {
        InitErrorManager(Err);
        Info.err = &Err.Pub;
    }
    ~TDecoder() {
        if (Created) jpeg_destroy_decompress(&Info);
    }
    TDecoder(const TDecoder&) = delete;
    TDecoder& operator=(const TDecoder&) = delete;

    TErrorManager Err;
    jpeg_decompress_struct Info{};
    bool Created = false;
};

// Collects the compressed bytes in a std::vector owned by the caller.
struct TVectorDestination {
    jpeg_destination_mgr Pub;  // first member
    std::vector<uint8_t>* Out;
    JOCTET Buffer[16384];
};

void DestInit(j_compress_ptr Info) {
    auto* dest = reinterpret_cast<TVectorDestination*>(Info->dest);
    dest->Pub.next_output_byte = dest->Buffer;
    dest->Pub.free_in_buffer = sizeof(dest->Buffer);
}

void DestFlush(j_compress_ptr Info, size_t Count) {
    auto* dest = reinterpret_cast<TVectorDestination*>(Info->dest);
    bool failed = false;
    try {
        dest->Out->insert(dest->Out->end(), dest->Buffer, dest->Buffer + Count);
    } catch (...) {
        failed = true;
    }
    // No exception may unwind through libjpeg; report it as libjpeg's own error, from
    // outside the handler so the jump leaves no exception half handled.
    if (failed) ERREXIT1(Info, JERR_OUT_OF_MEMORY, 99);
}

boolean DestEmpty(j_compress_ptr Info) {
    DestFlush(Info, sizeof(TVectorDestination::Buffer));
    DestInit(Info);
    return TRUE;
}

void DestTerm(j_compress_ptr Info) {
    auto* dest = reinterpret_cast<TVectorDestination*>(Info->dest);
    DestFlush(Info, sizeof(dest->Buffer) - dest->Pub.free_in_buffer);
}

class TEncoder {
   public:
    explicit TEncoder(std::vector<uint8_t>& Out) {
        InitErrorManager(Err);
        Info.err = &Err.Pub;
        Dest.Pub.init_destination = DestInit;
        Dest.Pub.empty_output_buffer = DestEmpty;
        Dest.Pub.term_destination = DestTerm;
        Dest.Out = &Out;
    }
    ~TEncoder() {
        if (Created) jpeg_destroy_compress(&Info);
    }
    TEncoder(const TEncoder&) = delete;
    TEncoder& operator=(const TEncoder&) = delete;

    TErrorManager Err;
    jpeg_compress_struct Info{};
    TVectorDestination Dest{};
    bool Created = false;
};

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& FileName) {
    // A folder opens as a stream but fails on the first read with a library message that
    // names no file; say plainly what is wrong instead.
    std::error_code ignored;
    if (std::filesystem::is_directory(FileName, ignored))
        throw std::system_error(EISDIR, std::generic_category(), "Cannot open file " + FileName.string());
    std::ifstream in(FileName, std::ios::binary);
    if (!in) throw std::system_error(errno, std::generic_category(), "Cannot open file " + FileName.string());
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::system_error(EIO, std::generic_category(), "Cannot read file " + FileName.string());
    return data;
}

// ---- Guarded phases: libjpeg calls only, no objects with destructors. ----

bool GuardedStartDecode(TDecoder& D, const uint8_t* Data, size_t Size, uint64_t MaxPixels) {
    if (setjmp(D.Err.Jump)) return false;
    jpeg_create_decompress(&D.Info);
    D.Created = true;
    jpeg_mem_src(&D.Info, Data, static_cast<unsigned long>(Size));
    jpeg_read_header(&D.Info, TRUE);
    // Checked before jpeg_start_decompress, which allocates for the whole picture.
    if (uint64_t{D.Info.image_width} * D.Info.image_height > MaxPixels) {
        std::snprintf(D.Err.Message, sizeof D.Err.Message, "Picture too large: %u x %u pixels",
                      static_cast<unsigned>(D.Info.image_width), static_cast<unsigned>(D.Info.image_height));
        return false;
    }
    // libjpeg has no CMYK to RGB conversion; we do that ourselves.
    const bool cmyk = D.Info.jpeg_color_space == JCS_CMYK || D.Info.jpeg_color_space == JCS_YCCK;
    D.Info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&D.Info);
    return true;
}

// Converts one decoded row to RGB in place-independent buffers. Adobe writers store CMYK
// inverted; the usual reading of such files is kept.
void RowToRgb(const TDecoder& D, const uint8_t* Row, uint8_t* Rgb) {
    const JDIMENSION width = D.Info.output_width;
    if (D.Info.out_color_space != JCS_CMYK) {
        std::memcpy(Rgb, Row, static_cast<size_t>(width) * 3);
        return;
    }
    const bool inverted = D.Info.saw_Adobe_marker;
    for (JDIMENSION x = 0; x < width; ++x) {
        unsigned c = Row[4 * x], m = Row[4 * x + 1], y = Row[4 * x + 2], k = Row[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        Rgb[3 * x] = static_cast<uint8_t>((c * k + 127) / 255);
        Rgb[3 * x + 1] = static_cast<uint8_t>((m * k + 127) / 255);
        Rgb[3 * x + 2] = static_cast<uint8_t>((y * k + 127) / 255);
    }
}

bool GuardedReadAll(TDecoder& D, uint8_t* Row, uint8_t* Pixels, size_t Stride) {
    if (setjmp(D.Err.Jump)) return false;
    while (D.Info.output_scanline < D.Info.output_height) {
        const JDIMENSION line = D.Info.output_scanline;
        JSAMPROW rows[1] = {Row};
        if (jpeg_read_scanlines(&D.Info, rows, 1) != 1) ERREXIT(&D.Info, JERR_INPUT_EOF);
        if (Pixels) RowToRgb(D, Row, Pixels + static_cast<size_t>(line) * Stride);
    }
    jpeg_finish_decompress(&D.Info);
    return true;
}

bool GuardedStartEncode(TEncoder& E, int Width, int Height, int Quality) {
    if (setjmp(E.Err.Jump)) return false;
    jpeg_create_compress(&E.Info);
    E.Created = true;
    E.Info.dest = &E.Dest.Pub;
    E.Info.image_width = static_cast<JDIMENSION>(Width);
    E.Info.image_height = static_cast<JDIMENSION>(Height);
    E.Info.input_components = 3;
    E.Info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&E.Info);
    jpeg_set_quality(&E.Info, Quality, TRUE);  // baseline-limited tables
    jpeg_start_compress(&E.Info, TRUE);
    return true;
}

bool GuardedWriteAll(TEncoder& E, const uint8_t* Pixels, size_t Stride) {
    if (setjmp(E.Err.Jump)) return false;
    while (E.Info.next_scanline < E.Info.image_height) {
        JSAMPROW rows[1] = {
            const_cast<uint8_t*>(Pixels + static_cast<size_t>(E.Info.next_scanline) * Stride)};
        jpeg_write_scanlines(&E.Info, rows, 1);
    }
    jpeg_finish_compress(&E.Info);
    return true;
}

struct TScalePlan {
    const uint32_t* Columns;  // source column for each destination column
    const uint32_t* Rows;     // source row for each destination row (non-decreasing)
    uint32_t DestWidth;
    uint32_t DestHeight;
    uint8_t* SourceRow;  // one decoded row, as libjpeg delivers it
    uint8_t* RgbRow;     // the same row in RGB
    uint8_t* DestRow;    // one scaled row
    bool SkipRows;       // skip the rows that are not sampled instead of decoding them
};

// Decodes row by row and writes each destination row as soon as its source row is in,
// so neither picture is held whole. Both objects' errors land in the decoder's jump
// buffer: the encoder's manager is pointed at it by the caller.
bool GuardedScale(TDecoder& D, TEncoder& E, const TScalePlan& P) {
    if (setjmp(D.Err.Jump)) return false;
    uint32_t next = 0;
    while (D.Info.output_scanline < D.Info.output_height) {
        const uint32_t line = D.Info.output_scanline;
        // Rows no destination row takes are skipped: still entropy-decoded (so damage is
        // still found), but neither transformed, upsampled nor converted. The rows that are
        // read come out exactly as a full decode gives them.
        const uint32_t wanted = next < P.DestHeight ? P.Rows[next] : D.Info.output_height;
        if (P.SkipRows && wanted > line) {
            if (jpeg_skip_scanlines(&D.Info, wanted - line) != wanted - line)
                ERREXIT(&D.Info, JERR_INPUT_EOF);
            continue;
        }
        JSAMPROW in[1] = {P.SourceRow};
        if (jpeg_read_scanlines(&D.Info, in, 1) != 1) ERREXIT(&D.Info, JERR_INPUT_EOF);
        if (next >= P.DestHeight || P.Rows[next] != line) continue;
        RowToRgb(D, P.SourceRow, P.RgbRow);
        for (uint32_t x = 0; x < P.DestWidth; ++x)
            std::memcpy(P.DestRow + 3 * x, P.RgbRow + 3 * P.Columns[x], 3);
        while (next < P.DestHeight && P.Rows[next] == line) {
            JSAMPROW out[1] = {P.DestRow};
            jpeg_write_scanlines(&E.Info, out, 1);
            ++next;
        }
    }
    jpeg_finish_decompress(&D.Info);
    jpeg_finish_compress(&E.Info);
    return true;
}

[[noreturn]] void ThrowJpegError(const TErrorManager& Err, const std::filesystem::path& FileName) {
    std::string text = Err.Message[0] ? Err.Message : "JPEG error";
    if (!FileName.empty()) text += " (" + FileName.string() + ")";
    throw EJpegError(text);
}

}  // namespace

std::optional<TScaledSize> ComputeScaledSize(int Width, int Height, int MaxWidth, int MaxHeight) {
    if (Width <= 0 || Height <= 0) throw std::invalid_argument("picture without pixels");
    if (MaxWidth < 1 || MaxHeight < 1) throw std::invalid_argument("picture size limits must be at least 1");
    const long double scaleX = static_cast<long double>(MaxWidth) / Width;
    const long double scaleY = static_cast<long double>(MaxHeight) / Height;
    const long double scale = scaleY > scaleX ? scaleX : scaleY;
    if (scale >= 1.0L) return std::nullopt;
    // nearbyint rounds in the current mode, which is to nearest with halves to even.
    const auto side = [scale](int N) { return std::max(1, static_cast<int>(std::nearbyintl(N * scale))); };
    return TScaledSize{side(Width), side(Height)};
}

std::vector<uint32_t> NearestNeighbourMap(int SourceSize, int DestSize) {
    if (SourceSize <= 0 || DestSize <= 0) return {};
    std::vector<uint32_t> map(static_cast<size_t>(DestSize));
    if (DestSize == 1) {
        map[0] = static_cast<uint32_t>((SourceSize - 1) / 2);
        return map;
    }
    const float ratio = static_cast<float>(SourceSize) / static_cast<float>(DestSize);
    for (int i = 0; i < DestSize; ++i) {
        const long double pos = static_cast<long double>(i) * static_cast<long double>(ratio);
        const auto index = static_cast<int64_t>(std::truncl(pos));
        map[static_cast<size_t>(i)] = static_cast<uint32_t>(std::min<int64_t>(index, SourceSize - 1));
    }
    return map;
}

TRgbImage DecodeJpegFile(const std::filesystem::path& FileName) {
    const auto data = ReadWholeFile(FileName);
    TDecoder d;
    if (!GuardedStartDecode(d, data.data(), data.size(), kMaxPixels)) ThrowJpegError(d.Err, FileName);
    TRgbImage image;
    image.Width = static_cast<int>(d.Info.output_width);
    image.Height = static_cast<int>(d.Info.output_height);
    image.Pixels.resize(static_cast<size_t>(image.Width) * static_cast<size_t>(image.Height) * 3);
    std::vector<uint8_t> row(static_cast<size_t>(d.Info.output_width) *
                             static_cast<size_t>(d.Info.output_components));
    if (!GuardedReadAll(d, row.data(), image.Pixels.data(), static_cast<size_t>(image.Width) * 3)) {
        ThrowJpegError(d.Err, FileName);
    }
    return image;
}

std::vector<uint8_t> EncodeJpeg(const TRgbImage& Image, int Quality) {
    if (Image.Width <= 0 || Image.Height <= 0 ||
        Image.Pixels.size() != static_cast<size_t>(Image.Width) * static_cast<size_t>(Image.Height) * 3) {
        throw std::invalid_argument("EncodeJpeg: pixel buffer does not match the size");
    }
    std::vector<uint8_t> out;
    TEncoder e(out);
    if (!GuardedStartEncode(e, Image.Width, Image.Height, Quality) ||
        !GuardedWriteAll(e, Image.Pixels.data(), static_cast<size_t>(Image.Width) * 3)) {
        ThrowJpegError(e.Err, {});
    }
    return out;
}

TPreparedCover ScaleJpeg(const std::vector<uint8_t>& Data, const std::filesystem::path& ImagePath,
                         int MaxWidth, int MaxHeight, int JpegQuality, bool SkipRows) {
    if (MaxWidth < 1 || MaxHeight < 1) throw std::invalid_argument("picture size limits must be at least 1");
    // The picture frame takes a JPEG by its first bytes, whole, when it fits the limits: a
    // cover it would not take is refused here, before any file is touched. (Fewer bytes than
    // it looks at are no picture at all, which the decoder says in its own words.)
    if (Data.size() >= kPictureHeadSize &&
        TAPICFrame::DetectImageMimeType(std::span(Data).first(kPictureHeadSize), Data.size()) !=
            ImageMimeTypes()[MIME_JPEG].MimeType)
        throw EJpegError("Not a JPEG file: it does not start with a JPEG start-of-image marker, FF D8 FF (" +
                         ImagePath.string() + ")");
    TDecoder d;
    if (!GuardedStartDecode(d, Data.data(), Data.size(), kMaxSourcePixels)) ThrowJpegError(d.Err, ImagePath);
    TPreparedCover cover;
    cover.SourceWidth = cover.Width = static_cast<int>(d.Info.output_width);
    cover.SourceHeight = cover.Height = static_cast<int>(d.Info.output_height);
    cover.Bytes = static_cast<int64_t>(Data.size());
    std::vector<uint8_t> sourceRow(static_cast<size_t>(cover.SourceWidth) *
                                   static_cast<size_t>(d.Info.output_components));

    const auto size = ComputeScaledSize(cover.SourceWidth, cover.SourceHeight, MaxWidth, MaxHeight);
    if (!size) {
        // Fits: the file is used as it is, but it must still decode in full.
        if (!GuardedReadAll(d, sourceRow.data(), nullptr, 0)) ThrowJpegError(d.Err, ImagePath);
        return cover;
    }
    if (uint64_t{static_cast<uint32_t>(size->Width)} * static_cast<uint32_t>(size->Height) > kMaxPixels) {
        throw EJpegError("Picture too large (" + ImagePath.string() + ")");
    }

    const auto columns = NearestNeighbourMap(cover.SourceWidth, size->Width);
    const auto rows = NearestNeighbourMap(cover.SourceHeight, size->Height);
    std::vector<uint8_t> rgbRow(static_cast<size_t>(cover.SourceWidth) * 3);
    std::vector<uint8_t> destRow(static_cast<size_t>(size->Width) * 3);
    TEncoder e(cover.Scaled);
    if (!GuardedStartEncode(e, size->Width, size->Height, JpegQuality)) ThrowJpegError(e.Err, {});
    // From here on the encoder's errors jump into the decoder's guarded frame too.
    e.Info.err = &d.Err.Pub;
    const TScalePlan plan{columns.data(),
                          rows.data(),
                          static_cast<uint32_t>(size->Width),
                          static_cast<uint32_t>(size->Height),
                          sourceRow.data(),
                          rgbRow.data(),
                          destRow.data(),
                          SkipRows};
    if (!GuardedScale(d, e, plan)) ThrowJpegError(d.Err, ImagePath);
    cover.Width = size->Width;
    cover.Height = size->Height;
    cover.Bytes = static_cast<int64_t>(cover.Scaled.size());
    return cover;
}

TPreparedCover PrepareCover(const std::filesystem::path& ImagePath, int MaxWidth, int MaxHeight,
                            int JpegQuality) {
    if (MaxWidth < 1 || MaxHeight < 1) throw std::invalid_argument("picture size limits must be at least 1");
    // The whole file is read first, so ImagePath may itself be the temp.jpg a caller replaces.
    return ScaleJpeg(ReadWholeFile(ImagePath), ImagePath, MaxWidth, MaxHeight, JpegQuality, true);
}

bool PrepareCoverImage(std::filesystem::path& ImagePath, int MaxWidth, int MaxHeight, int JpegQuality,
                       const std::filesystem::path& ExeDir, TPreparedCover* Prepared) {
    TPreparedCover own;
    TPreparedCover& cover = Prepared ? *Prepared : own;
    cover = PrepareCover(ImagePath, MaxWidth, MaxHeight, JpegQuality);
    if (cover.Scaled.empty()) return false;
    const auto target = ExeDir / kTempPictureFileName;
    WriteFileReplacing(
        target, std::string_view(reinterpret_cast<const char*>(cover.Scaled.data()), cover.Scaled.size()));
    ImagePath = target;
    return true;
}

}  // namespace covrilo
