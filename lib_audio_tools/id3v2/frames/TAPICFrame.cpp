// SPDX-License-Identifier: MIT
#include "id3v2/frames/TAPICFrame.h"

#include "io/ByteCursor.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "id3v2/ID3v2APICTypes.h"
#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

constexpr size_t kHeadSize = 18;
constexpr std::string_view kLinkMarker = "-->";

std::string Lower(std::string_view Text) {
    std::string Out(Text);
    std::transform(Out.begin(), Out.end(), Out.begin(), [](unsigned char C) {
        return static_cast<char>(C >= 'A' && C <= 'Z' ? C + ('a' - 'A') : C);
    });
    return Out;
}

bool EqualsIgnoringCase(std::string_view A, std::string_view B) { return A.size() == B.size() && Lower(A) == Lower(B); }

bool StartsWith(std::span<const uint8_t> B, size_t At, std::string_view Text) {
    return B.size() >= At + Text.size() && std::memcmp(B.data() + At, Text.data(), Text.size()) == 0;
}

// 2.2 image formats and the MIME types they stand for.
struct TFormatMime {
    const char* Format;
    const char* Mime;
};
constexpr TFormatMime kFormats[] = {
    {"PNG", "image/png"}, {"JPG", "image/jpeg"}, {"GIF", "image/gif"},
    {"BMP", "image/ms-bmp"}, {"TIF", "image/tiff"}, {"XBM", "image/x-bmp"},
};
// Other spellings written to 2.2 under a format.
constexpr TFormatMime kFormatAliases[] = {
    {"PNG", "ping"}, {"JPG", "jpeg"}, {"BMP", "bitmap"}, {"TIF", "tiff"},
};

std::string FormatToMime(const std::string& Format) {
    for (const auto& F : kFormats)
        if (EqualsIgnoringCase(Format, F.Format)) return F.Mime;
    return Format;
}

std::string MimeToFormat(const std::string& Mime, const std::vector<uint8_t>& Image) {
    for (const auto& F : kFormats)
        if (EqualsIgnoringCase(Mime, F.Mime)) return F.Format;
    for (const auto& F : kFormatAliases)
        if (EqualsIgnoringCase(Mime, F.Mime)) return F.Format;
    if (Image.size() >= 3 && Image[0] == 0xFF && Image[1] == 0xD8 && Image[2] == 0xFF) return "JPG";
    std::string_view Rest = Mime;
    if (Rest.size() >= 6 && EqualsIgnoringCase(Rest.substr(0, 6), "image/")) Rest.remove_prefix(6);
    std::string Format(Rest.substr(0, 3));
    for (char& C : Format) C = static_cast<char>(C >= 'a' && C <= 'z' ? C - ('a' - 'A') : C);
    Format.resize(3, ' ');
    // "-->" in the format field marks a link: an image must never be written under it, or it
    // reads back as a link and its bytes are lost.
    if (Format == kLinkMarker) Format = "   ";
    return Format;
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
    const std::span<const uint8_t> All = TakeEncodingByte(Content);
    TCustomMemoryStream In(All);
    int64_t Rest = In.Size();
    uint8_t Byte = 0;
    if (MajorVersion(Version) == 2) {
        // The 2.2 image format is always three bytes, without terminator.
        std::array<char, 3> Format{};
        const int64_t Got = In.Read(Format.data(), std::min<int64_t>(3, Rest));
        Rest -= Got;
        std::string Text(Format.data(), static_cast<size_t>(Got));
        Text.erase(std::find(Text.begin(), Text.end(), '\0'), Text.end());
        MIMEType = FormatToMime(Text);
    } else {
        Rest -= ReadLatin1(In, Rest - 2, MIMEType);
    }
    // The type byte is kept as stored: types beyond the table are other programs' data.
    if (Rest > 0 && ReadByte(In, Byte)) {
        PictureType = Byte;
        --Rest;
    }
    const int64_t DescriptionStart = In.Position();
    const int64_t DescriptionBytes = ReadText(In, Rest, BigEndian, Description, Encoding);
    NoteTextBytes(All.subspan(static_cast<size_t>(DescriptionStart), static_cast<size_t>(DescriptionBytes)));
    Rest -= DescriptionBytes;
    if (EqualsIgnoringCase(MIMEType, kLinkMarker)) {
        Linked = true;
        MIMEType.clear();
        ReadLatin1(In, Rest, LinkURL);
    } else if (Rest > 0) {
        const int64_t ImageStart = In.Position();
        PictureData.Data() = In.ReadBytes(Rest);
        KeepOriginalPrefix(static_cast<size_t>(ImageStart + 1));
    }
    PictureData.SetPosition(0);
}

std::vector<uint8_t> TAPICFrame::RenderFields(uint16_t Version) {
    const TTextEncoding Target = RenderedEncoding(Version);
    std::vector<uint8_t> Out{EncodingToByte(Target)};
    if (MajorVersion(Version) == 2) {
        // "-->" (without terminator in the fixed 2.2 format field) marks a link here too.
        const std::string Format = Linked ? std::string(kLinkMarker) : MimeToFormat(MIMEType, PictureData.Data());
        Out.insert(Out.end(), Format.begin(), Format.begin() + 3);
    } else {
        AppendLatin1(Out, Linked ? kLinkMarker : std::string_view(MIMEType));
    }
    Out.push_back(PictureType);
    AppendText(Out, Description, BigEndian, Target);
    if (Linked) AppendLatin1(Out, LinkURL);
    return Out;
}

bool TAPICFrame::LayoutFits(uint8_t FromMajor, uint8_t ToMajor) const {
    // The 2.2 picture names its image format in three letters where 2.3 and 2.4 hold a MIME type.
    if ((FromMajor == 2) != (ToMajor == 2)) return false;
    return TEncodingFrame::LayoutFits(FromMajor, ToMajor);
}

bool TAPICFrame::Assign(const TBaseFrame& Source) {
    const auto* Other = dynamic_cast<const TAPICFrame*>(&Source);
    if (!Other) return false;
    if (Other == this) return true;
    SetLinked(Other->Linked);
    if (Linked) {
        SetLinkURL(Other->LinkURL);
    } else {
        SetMIMEType(Other->MIMEType);
        PictureData.Data() = Other->PictureData.Data();
        PictureData.SetPosition(0);
        Modified = true;
    }
    return true;
}

std::string TAPICFrame::DetectImageMimeType(std::span<const uint8_t> Head, uint64_t FileSize) {
    if (Head.size() < kHeadSize) return {};
    auto Mime = [](int Entry) { return std::string(ImageMimeTypes()[static_cast<size_t>(Entry)].MimeType); };
    if (StartsWith(Head, 0, "BM") && Head[6] == 0 && Head[7] == 0 && Head[8] == 0 && Head[9] == 0 &&
        U32LEAt(Head, 2) == FileSize && U32LEAt(Head, 14) == 40)
        return Mime(MIME_BMP);
    // A JPEG by its start-of-image marker and the marker after it, whatever segment comes
    // first: JFIF (APP0) and Exif (APP1), but also Adobe (APP14), ICC profiles (APP2), or a
    // quantisation table straight away, as many cameras and editors write them.
    if (Head[0] == 0xFF && Head[1] == 0xD8 && Head[2] == 0xFF) return Mime(MIME_JPEG);
    auto Digit = [](uint8_t C) { return C >= '0' && C <= '9'; };
    if (StartsWith(Head, 0, "GIF") && Digit(Head[3]) && Digit(Head[4]) && Head[5] >= 'a' && Head[5] <= 'z')
        return Mime(MIME_GIF);
    if ((StartsWith(Head, 0, "MM") && Head[2] == 0x00 && Head[3] == 0x2A) ||
        (StartsWith(Head, 0, "II") && Head[2] == 0x2A && Head[3] == 0x00))
        return Mime(MIME_TIFF);
    static constexpr uint8_t kPng[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    if (std::equal(kPng, kPng + 8, Head.begin())) return Mime(MIME_PNG);
    return {};
}

bool TAPICFrame::LoadPictureFromFile(const std::filesystem::path& FileName) {
    if (!UnicodeFileExists(FileName)) return false;
    TUnicodeFileStream File(FileName, fmOpenRead | fmShareDenyNone);
    const int64_t Size = File.Size();
    std::array<uint8_t, kHeadSize> Head{};
    if (File.Read(Head.data(), kHeadSize) != static_cast<int64_t>(kHeadSize))
        throw std::runtime_error("Stream read error");
    const std::string Mime = DetectImageMimeType(Head, static_cast<uint64_t>(Size));
    if (Mime.empty()) return false;
    File.SetPosition(0);
    std::vector<uint8_t> Bytes = File.ReadBytes(Size);
    Modified = true;
    MIMEType = Mime;
    PictureData.Data() = std::move(Bytes);
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
    const int64_t Position = Stream.Position();
    Stream.SetPosition(0);
    PictureData.CopyFrom(Stream, 0);
    Stream.SetPosition(Position);
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
