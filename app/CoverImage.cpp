// SPDX-License-Identifier: MIT
#include "app/CoverImage.h"

#include "app/AtomicFile.h"
#include "app/DataDir.h"
#include "id3v2/ID3v2APICTypes.h"
#include "id3v2/frames/TAPICFrame.h"

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

// libjpeg's headers need FILE and size_t before them.
#include <jpeglib.h>
#include <jerror.h>

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
    auto* Err = reinterpret_cast<TErrorManager*>(Info->err);
    (*Info->err->format_message)(Info, Err->Message);
    std::longjmp(Err->Jump, 1);
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
    auto* Dest = reinterpret_cast<TVectorDestination*>(Info->dest);
    Dest->Pub.next_output_byte = Dest->Buffer;
    Dest->Pub.free_in_buffer = sizeof(Dest->Buffer);
}

void DestFlush(j_compress_ptr Info, size_t Count) {
    auto* Dest = reinterpret_cast<TVectorDestination*>(Info->dest);
    bool Failed = false;
    try {
        Dest->Out->insert(Dest->Out->end(), Dest->Buffer, Dest->Buffer + Count);
    } catch (...) {
        Failed = true;
    }
    // No exception may unwind through libjpeg; report it as libjpeg's own error, from
    // outside the handler so the jump leaves no exception half handled.
    if (Failed) ERREXIT1(Info, JERR_OUT_OF_MEMORY, 99);
}

boolean DestEmpty(j_compress_ptr Info) {
    DestFlush(Info, sizeof(TVectorDestination::Buffer));
    DestInit(Info);
    return TRUE;
}

void DestTerm(j_compress_ptr Info) {
    auto* Dest = reinterpret_cast<TVectorDestination*>(Info->dest);
    DestFlush(Info, sizeof(Dest->Buffer) - Dest->Pub.free_in_buffer);
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
    std::error_code Ignored;
    if (std::filesystem::is_directory(FileName, Ignored))
        throw std::system_error(EISDIR, std::generic_category(), "Cannot open file " + FileName.string());
    std::ifstream In(FileName, std::ios::binary);
    if (!In) throw std::system_error(errno, std::generic_category(), "Cannot open file " + FileName.string());
    std::vector<uint8_t> Data((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
    if (In.bad()) throw std::system_error(EIO, std::generic_category(), "Cannot read file " + FileName.string());
    return Data;
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
    const bool Cmyk = D.Info.jpeg_color_space == JCS_CMYK || D.Info.jpeg_color_space == JCS_YCCK;
    D.Info.out_color_space = Cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&D.Info);
    return true;
}

// Converts one decoded row to RGB in place-independent buffers. Adobe writers store CMYK
// inverted; the usual reading of such files is kept.
void RowToRgb(const TDecoder& D, const uint8_t* Row, uint8_t* Rgb) {
    const JDIMENSION Width = D.Info.output_width;
    if (D.Info.out_color_space != JCS_CMYK) {
        std::memcpy(Rgb, Row, static_cast<size_t>(Width) * 3);
        return;
    }
    const bool Inverted = D.Info.saw_Adobe_marker;
    for (JDIMENSION X = 0; X < Width; ++X) {
        unsigned C = Row[4 * X], M = Row[4 * X + 1], Y = Row[4 * X + 2], K = Row[4 * X + 3];
        if (!Inverted) {
            C = 255 - C;
            M = 255 - M;
            Y = 255 - Y;
            K = 255 - K;
        }
        Rgb[3 * X] = static_cast<uint8_t>((C * K + 127) / 255);
        Rgb[3 * X + 1] = static_cast<uint8_t>((M * K + 127) / 255);
        Rgb[3 * X + 2] = static_cast<uint8_t>((Y * K + 127) / 255);
    }
}

bool GuardedReadAll(TDecoder& D, uint8_t* Row, uint8_t* Pixels, size_t Stride) {
    if (setjmp(D.Err.Jump)) return false;
    while (D.Info.output_scanline < D.Info.output_height) {
        const JDIMENSION Line = D.Info.output_scanline;
        JSAMPROW Rows[1] = {Row};
        if (jpeg_read_scanlines(&D.Info, Rows, 1) != 1) ERREXIT(&D.Info, JERR_INPUT_EOF);
        if (Pixels) RowToRgb(D, Row, Pixels + static_cast<size_t>(Line) * Stride);
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
        JSAMPROW Rows[1] = {const_cast<uint8_t*>(Pixels + static_cast<size_t>(E.Info.next_scanline) * Stride)};
        jpeg_write_scanlines(&E.Info, Rows, 1);
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
    uint32_t Next = 0;
    while (D.Info.output_scanline < D.Info.output_height) {
        const uint32_t Line = D.Info.output_scanline;
        // Rows no destination row takes are skipped: still entropy-decoded (so damage is
        // still found), but neither transformed, upsampled nor converted. The rows that are
        // read come out exactly as a full decode gives them.
        const uint32_t Wanted = Next < P.DestHeight ? P.Rows[Next] : D.Info.output_height;
        if (P.SkipRows && Wanted > Line) {
            if (jpeg_skip_scanlines(&D.Info, Wanted - Line) != Wanted - Line) ERREXIT(&D.Info, JERR_INPUT_EOF);
            continue;
        }
        JSAMPROW In[1] = {P.SourceRow};
        if (jpeg_read_scanlines(&D.Info, In, 1) != 1) ERREXIT(&D.Info, JERR_INPUT_EOF);
        if (Next >= P.DestHeight || P.Rows[Next] != Line) continue;
        RowToRgb(D, P.SourceRow, P.RgbRow);
        for (uint32_t X = 0; X < P.DestWidth; ++X) std::memcpy(P.DestRow + 3 * X, P.RgbRow + 3 * P.Columns[X], 3);
        while (Next < P.DestHeight && P.Rows[Next] == Line) {
            JSAMPROW Out[1] = {P.DestRow};
            jpeg_write_scanlines(&E.Info, Out, 1);
            ++Next;
        }
    }
    jpeg_finish_decompress(&D.Info);
    jpeg_finish_compress(&E.Info);
    return true;
}

[[noreturn]] void ThrowJpegError(const TErrorManager& Err, const std::filesystem::path& FileName) {
    std::string Text = Err.Message[0] ? Err.Message : "JPEG error";
    if (!FileName.empty()) Text += " (" + FileName.string() + ")";
    throw EJpegError(Text);
}

}  // namespace

std::optional<TScaledSize> ComputeScaledSize(int Width, int Height, int MaxWidth, int MaxHeight) {
    if (Width <= 0 || Height <= 0) throw std::invalid_argument("picture without pixels");
    if (MaxWidth < 1 || MaxHeight < 1) throw std::invalid_argument("picture size limits must be at least 1");
    const long double ScaleX = static_cast<long double>(MaxWidth) / Width;
    const long double ScaleY = static_cast<long double>(MaxHeight) / Height;
    const long double Scale = ScaleY > ScaleX ? ScaleX : ScaleY;
    if (Scale >= 1.0L) return std::nullopt;
    // nearbyint rounds in the current mode, which is to nearest with halves to even.
    const auto Side = [Scale](int N) { return std::max(1, static_cast<int>(std::nearbyintl(N * Scale))); };
    return TScaledSize{Side(Width), Side(Height)};
}

std::vector<uint32_t> NearestNeighbourMap(int SourceSize, int DestSize) {
    if (SourceSize <= 0 || DestSize <= 0) return {};
    std::vector<uint32_t> Map(static_cast<size_t>(DestSize));
    if (DestSize == 1) {
        Map[0] = static_cast<uint32_t>((SourceSize - 1) / 2);
        return Map;
    }
    const float Ratio = static_cast<float>(SourceSize) / static_cast<float>(DestSize);
    for (int I = 0; I < DestSize; ++I) {
        const long double Pos = static_cast<long double>(I) * static_cast<long double>(Ratio);
        const auto Index = static_cast<int64_t>(std::truncl(Pos));
        Map[static_cast<size_t>(I)] = static_cast<uint32_t>(std::min<int64_t>(Index, SourceSize - 1));
    }
    return Map;
}

TRgbImage DecodeJpegFile(const std::filesystem::path& FileName) {
    const auto Data = ReadWholeFile(FileName);
    TDecoder D;
    if (!GuardedStartDecode(D, Data.data(), Data.size(), kMaxPixels)) ThrowJpegError(D.Err, FileName);
    TRgbImage Image;
    Image.Width = static_cast<int>(D.Info.output_width);
    Image.Height = static_cast<int>(D.Info.output_height);
    Image.Pixels.resize(static_cast<size_t>(Image.Width) * static_cast<size_t>(Image.Height) * 3);
    std::vector<uint8_t> Row(static_cast<size_t>(D.Info.output_width) * static_cast<size_t>(D.Info.output_components));
    if (!GuardedReadAll(D, Row.data(), Image.Pixels.data(), static_cast<size_t>(Image.Width) * 3)) {
        ThrowJpegError(D.Err, FileName);
    }
    return Image;
}

std::vector<uint8_t> EncodeJpeg(const TRgbImage& Image, int Quality) {
    if (Image.Width <= 0 || Image.Height <= 0 ||
        Image.Pixels.size() != static_cast<size_t>(Image.Width) * static_cast<size_t>(Image.Height) * 3) {
        throw std::invalid_argument("EncodeJpeg: pixel buffer does not match the size");
    }
    std::vector<uint8_t> Out;
    TEncoder E(Out);
    if (!GuardedStartEncode(E, Image.Width, Image.Height, Quality) ||
        !GuardedWriteAll(E, Image.Pixels.data(), static_cast<size_t>(Image.Width) * 3)) {
        ThrowJpegError(E.Err, {});
    }
    return Out;
}

TPreparedCover ScaleJpeg(const std::vector<uint8_t>& Data, const std::filesystem::path& ImagePath, int MaxWidth,
                         int MaxHeight, int JpegQuality, bool SkipRows) {
    if (MaxWidth < 1 || MaxHeight < 1) throw std::invalid_argument("picture size limits must be at least 1");
    // The picture frame takes a JPEG by its first bytes, whole, when it fits the limits: a
    // cover it would not take is refused here, before any file is touched. (Fewer bytes than
    // it looks at are no picture at all, which the decoder says in its own words.)
    if (Data.size() >= kPictureHeadSize &&
        TAPICFrame::DetectImageMimeType(std::span(Data).first(kPictureHeadSize), Data.size()) !=
            ImageMimeTypes()[MIME_JPEG].MimeType)
        throw EJpegError("Not a JPEG file: it does not start with a JPEG start-of-image marker, FF D8 FF (" +
                         ImagePath.string() + ")");
    TDecoder D;
    if (!GuardedStartDecode(D, Data.data(), Data.size(), kMaxSourcePixels)) ThrowJpegError(D.Err, ImagePath);
    TPreparedCover Cover;
    Cover.SourceWidth = Cover.Width = static_cast<int>(D.Info.output_width);
    Cover.SourceHeight = Cover.Height = static_cast<int>(D.Info.output_height);
    Cover.Bytes = static_cast<int64_t>(Data.size());
    std::vector<uint8_t> SourceRow(static_cast<size_t>(Cover.SourceWidth) *
                                   static_cast<size_t>(D.Info.output_components));

    const auto Size = ComputeScaledSize(Cover.SourceWidth, Cover.SourceHeight, MaxWidth, MaxHeight);
    if (!Size) {
        // Fits: the file is used as it is, but it must still decode in full.
        if (!GuardedReadAll(D, SourceRow.data(), nullptr, 0)) ThrowJpegError(D.Err, ImagePath);
        return Cover;
    }
    if (uint64_t{static_cast<uint32_t>(Size->Width)} * static_cast<uint32_t>(Size->Height) > kMaxPixels) {
        throw EJpegError("Picture too large (" + ImagePath.string() + ")");
    }

    const auto Columns = NearestNeighbourMap(Cover.SourceWidth, Size->Width);
    const auto Rows = NearestNeighbourMap(Cover.SourceHeight, Size->Height);
    std::vector<uint8_t> RgbRow(static_cast<size_t>(Cover.SourceWidth) * 3);
    std::vector<uint8_t> DestRow(static_cast<size_t>(Size->Width) * 3);
    TEncoder E(Cover.Scaled);
    if (!GuardedStartEncode(E, Size->Width, Size->Height, JpegQuality)) ThrowJpegError(E.Err, {});
    // From here on the encoder's errors jump into the decoder's guarded frame too.
    E.Info.err = &D.Err.Pub;
    const TScalePlan Plan{Columns.data(),      Rows.data(),   static_cast<uint32_t>(Size->Width),
                          static_cast<uint32_t>(Size->Height), SourceRow.data(), RgbRow.data(),
                          DestRow.data(),      SkipRows};
    if (!GuardedScale(D, E, Plan)) ThrowJpegError(D.Err, ImagePath);
    Cover.Width = Size->Width;
    Cover.Height = Size->Height;
    Cover.Bytes = static_cast<int64_t>(Cover.Scaled.size());
    return Cover;
}

TPreparedCover PrepareCover(const std::filesystem::path& ImagePath, int MaxWidth, int MaxHeight, int JpegQuality) {
    if (MaxWidth < 1 || MaxHeight < 1) throw std::invalid_argument("picture size limits must be at least 1");
    // The whole file is read first, so ImagePath may itself be the temp.jpg a caller replaces.
    return ScaleJpeg(ReadWholeFile(ImagePath), ImagePath, MaxWidth, MaxHeight, JpegQuality, true);
}

bool PrepareCoverImage(std::filesystem::path& ImagePath, int MaxWidth, int MaxHeight, int JpegQuality,
                       const std::filesystem::path& ExeDir, TPreparedCover* Prepared) {
    TPreparedCover Own;
    TPreparedCover& Cover = Prepared ? *Prepared : Own;
    Cover = PrepareCover(ImagePath, MaxWidth, MaxHeight, JpegQuality);
    if (Cover.Scaled.empty()) return false;
    const auto Target = ExeDir / kTempPictureFileName;
    WriteFileReplacing(Target, std::string_view(reinterpret_cast<const char*>(Cover.Scaled.data()), Cover.Scaled.size()));
    ImagePath = Target;
    return true;
}

}  // namespace covrilo
