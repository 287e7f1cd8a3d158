// SPDX-License-Identifier: MIT
#include "id3v2/frames/TAPICFrame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "id3v2/ID3v2APICTypes.h"
#include "io/ByteCursor.h"
#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

constexpr size_t kHeadSize = 18;
constexpr std::string_view kLinkMarker = "-->";

std::string Lower(std::string_view Text) {
    std::string out(Text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char C) {
        return static_cast<char>(C >= 'A' && C <= 'Z' ? C + ('a' - 'A') : C);
    });
    return out;
}

bool EqualsIgnoringCase(std::string_view A, std::string_view B) {
    return A.size() == B.size() && Lower(A) == Lower(B);
}

bool StartsWith(std::span<const uint8_t> B, size_t At, std::string_view Text) {
    return B.size() >= At + Text.size() && std::memcmp(B.data() + At, Text.data(), Text.size()) == 0;
}

// 2.2 image formats and the MIME types they stand for.
struct TFormatMime {
    const char* Format;
    const char* Mime;
};
constexpr TFormatMime kFormats[] = {
    {"PNG", "image/png"},    {"JPG", "image/jpeg"}, {"GIF", "image/gif"},
    {"BMP", "image/ms-bmp"}, {"TIF", "image/tiff"}, {"XBM", "image/x-bmp"},
};
// Other spellings written to 2.2 under a format.
constexpr TFormatMime kFormatAliases[] = {
    {"PNG", "ping"},
    {"JPG", "jpeg"},
    {"BMP", "bitmap"},
    {"TIF", "tiff"},
};

std::string FormatToMime(const std::string& Format) {
    for (const auto& f : kFormats)
        if (EqualsIgnoringCase(Format, f.Format)) return f.Mime;
    return Format;
}

std::string MimeToFormat(const std::string& Mime, const std::vector<uint8_t>& Image) {
    for (const auto& f : kFormats)
        if (EqualsIgnoringCase(Mime, f.Mime)) return f.Format;
    for (const auto& f : kFormatAliases)
        if (EqualsIgnoringCase(Mime, f.Mime)) return f.Format;
    if (Image.size() >= 3 && Image[0] == 0xFF && Image[1] == 0xD8 && Image[2] == 0xFF) return "JPG";
    std::string_view rest = Mime;
    if (rest.size() >= 6 && EqualsIgnoringCase(rest.substr(0, 6), "image/")) rest.remove_prefix(6);
    std::string format(rest.substr(0, 3));
    for (char& c : format) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    format.resize(3, ' ');
    // "-->" in the format field marks a link: an image must never be written under it, or it
    // reads back as a link and its bytes are lost.
    if (format == kLinkMarker) format = "   ";
    return format;
}

}  // namespace

TAPICFrame::TAPICFrame() { SetFrameID("APIC"); }

uint32_t TAPICFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TAPICFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TAPICFrame::SaveToStream(TStream& Stream, uint16_t Version) { return RenderFrame(Stream, Version); }

void TAPICFrame::ClearFields() {
    MIMEType.clear();
    PictureType = 0;
    Description.clear();
    PictureData.Clear();
    Linked = false;
    LinkURL.clear();
}

void TAPICFrame::ParseFields(std::span<const uint8_t> Content, uint16_t Version) {
    const std::span<const uint8_t> all = TakeEncodingByte(Content);
    TCustomMemoryStream in(all);
    int64_t rest = in.Size();
    uint8_t byte = 0;
    if (MajorVersion(Version) == 2) {
        // The 2.2 image format is always three bytes, without terminator.
        std::array<char, 3> format{};
        const int64_t got = in.Read(format.data(), std::min<int64_t>(3, rest));
        rest -= got;
        std::string text(format.data(), static_cast<size_t>(got));
        text.erase(std::find(text.begin(), text.end(), '\0'), text.end());
        MIMEType = FormatToMime(text);
    } else {
        rest -= ReadLatin1(in, rest - 2, MIMEType);
    }
    // The type byte is kept as stored: types beyond the table are other programs' data.
    if (rest > 0 && ReadByte(in, byte)) {
        PictureType = byte;
        --rest;
    }
    const int64_t descriptionStart = in.Position();
    const int64_t descriptionBytes = ReadText(in, rest, BigEndian, Description, Encoding);
    NoteTextBytes(all.subspan(static_cast<size_t>(descriptionStart), static_cast<size_t>(descriptionBytes)));
    rest -= descriptionBytes;
    if (EqualsIgnoringCase(MIMEType, kLinkMarker)) {
        Linked = true;
        MIMEType.clear();
        ReadLatin1(in, rest, LinkURL);
    } else if (rest > 0) {
        const int64_t imageStart = in.Position();
        PictureData.Data() = in.ReadBytes(rest);
        KeepOriginalPrefix(static_cast<size_t>(imageStart + 1));
    }
    PictureData.SetPosition(0);
}

std::vector<uint8_t> TAPICFrame::RenderFields(uint16_t Version) {
    const TTextEncoding target = RenderedEncoding(Version);
    std::vector<uint8_t> out{EncodingToByte(target)};
    if (MajorVersion(Version) == 2) {
        // "-->" (without terminator in the fixed 2.2 format field) marks a link here too.
        const std::string format =
            Linked ? std::string(kLinkMarker) : MimeToFormat(MIMEType, PictureData.Data());
        out.insert(out.end(), format.begin(), format.begin() + 3);
    } else {
        AppendLatin1(out, Linked ? kLinkMarker : std::string_view(MIMEType));
    }
    out.push_back(PictureType);
    AppendText(out, Description, BigEndian, target);
    if (Linked) AppendLatin1(out, LinkURL);
    return out;
}

bool TAPICFrame::LayoutFits(uint8_t FromMajor, uint8_t ToMajor) const {
    // The 2.2 picture names its image format in three letters where 2.3 and 2.4 hold a MIME type.
    if ((FromMajor == 2) != (ToMajor == 2)) return false;
    return TEncodingFrame::LayoutFits(FromMajor, ToMajor);
}

bool TAPICFrame::Assign(const TBaseFrame& Source) {
    const auto* other = dynamic_cast<const TAPICFrame*>(&Source);
    if (!other) return false;
    if (other == this) return true;
    SetLinked(other->Linked);
    if (Linked) {
        SetLinkURL(other->LinkURL);
    } else {
        SetMIMEType(other->MIMEType);
        PictureData.Data() = other->PictureData.Data();
        PictureData.SetPosition(0);
        Modified = true;
    }
    return true;
}

std::string TAPICFrame::DetectImageMimeType(std::span<const uint8_t> Head, uint64_t FileSize) {
    if (Head.size() < kHeadSize) return {};
    auto mime = [](int Entry) { return std::string(ImageMimeTypes()[static_cast<size_t>(Entry)].MimeType); };
    if (StartsWith(Head, 0, "BM") && Head[6] == 0 && Head[7] == 0 && Head[8] == 0 && Head[9] == 0 &&
        U32LEAt(Head, 2) == FileSize && U32LEAt(Head, 14) == 40)
        return mime(MIME_BMP);
    // A JPEG by its start-of-image marker and the marker after it, whatever segment comes
    // first: JFIF (APP0) and Exif (APP1), but also Adobe (APP14), ICC profiles (APP2), or a
    // quantisation table straight away, as many cameras and editors write them.
    if (Head[0] == 0xFF && Head[1] == 0xD8 && Head[2] == 0xFF) return mime(MIME_JPEG);
    auto digit = [](uint8_t C) { return C >= '0' && C <= '9'; };
    if (StartsWith(Head, 0, "GIF") && digit(Head[3]) && digit(Head[4]) && Head[5] >= 'a' && Head[5] <= 'z')
        return mime(MIME_GIF);
    if ((StartsWith(Head, 0, "MM") && Head[2] == 0x00 && Head[3] == 0x2A) ||
        (StartsWith(Head, 0, "II") && Head[2] == 0x2A && Head[3] == 0x00))
        return mime(MIME_TIFF);
    static constexpr uint8_t kPng[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (std::equal(kPng, kPng + 8, Head.begin())) return mime(MIME_PNG);
    return {};
}

bool TAPICFrame::LoadPictureFromFile(const std::filesystem::path& FileName) {
    if (!UnicodeFileExists(FileName)) return false;
    TUnicodeFileStream file(FileName, fmOpenRead | fmShareDenyNone);
    const int64_t size = file.Size();
    std::array<uint8_t, kHeadSize> head{};
    if (file.Read(head.data(), kHeadSize) != static_cast<int64_t>(kHeadSize))
        throw std::runtime_error("Stream read error");
    const std::string mime = DetectImageMimeType(head, static_cast<uint64_t>(size));
    if (mime.empty()) return false;
    file.SetPosition(0);
    std::vector<uint8_t> bytes = file.ReadBytes(size);
    Modified = true;
    MIMEType = mime;
    PictureData.Data() = std::move(bytes);
    PictureData.SetPosition(0);
    return true;
}

void TAPICFrame::SetMIMEType(const std::string& Value) {
    if (EqualsIgnoringCase(Value, MIMEType)) return;
    MIMEType = Lower(Value);
    Modified = true;
}

void TAPICFrame::SetPictureType(uint8_t Value) {
    if (PictureType == Value) return;
    PictureType = Value;
    Modified = true;
}

void TAPICFrame::SetDescription(std::u16string_view Value) {
    if (Description == Value) return;
    Description = Value;
    Modified = true;
}

void TAPICFrame::SetPictureData(TStream& Stream) {
    Modified = true;
    if (&Stream == &PictureData) return;
    PictureData.Clear();
    const int64_t position = Stream.Position();
    Stream.SetPosition(0);
    PictureData.CopyFrom(Stream, 0);
    Stream.SetPosition(position);
    PictureData.SetPosition(0);
}

std::unique_ptr<TMemoryStream> TAPICFrame::GetPictureData() const {
    return std::make_unique<TMemoryStream>(PictureData.Data());
}

void TAPICFrame::SetLinked(bool Value) {
    if (Linked == Value) return;
    Linked = Value;
    if (Linked) {
        PictureData.Clear();
        MIMEType.clear();
    }
}

void TAPICFrame::SetLinkURL(const std::string& Value) {
    if (LinkURL == Value) return;
    LinkURL = Value;
    Modified = true;
}

std::string TAPICFrame::PictureTypeName() const { return ::covrilo::PictureTypeName(PictureType); }

}  // namespace covrilo
