// SPDX-License-Identifier: MIT
#include "id3v2/frames/TEncodingFrame.h"

#include "io/TextConversion.h"

namespace covrilo {

uint32_t TEncodingFrame::GetDataSize(uint16_t Version) {
    RenderedEncoding(Version);
    return 1;
}

TTextEncoding TEncodingFrame::RenderedEncoding(uint16_t Version) const {
    if (Encoding == teUnknown)
        throw EID3LibTextEncodingInvalid("frame \"" + FrameID() + "\": text encoding teUnknown is invalid!");
    return AdjustedEncoding(Version);
}

void TEncodingFrame::PrepareRender(uint16_t Version) {
    TBaseFrame::PrepareRender(Version);
    AdjustEncoding(Version);
}

bool TEncodingFrame::SaveToStream(TStream&, uint16_t Version) {
    AdjustEncoding(Version);
    return true;
}

void TEncodingFrame::AdjustEncoding(uint16_t Version) { Encoding = AdjustedEncoding(Version); }

TTextEncoding TEncodingFrame::AdjustedEncoding(uint16_t Version) const {
    if (Version < ID3V2_VERSION_2_4 && (Encoding == teUTF16BE || Encoding == teUTF8)) return teUTF16;
    return Encoding;
}

void TEncodingFrame::SkipStrayTerminator(TStream& Stream, int64_t& Rest) const {
    const int64_t unit = (Encoding == teUTF16 || Encoding == teUTF16BE) ? 2 : 1;
    if (Rest < unit) return;
    uint8_t bytes[2] = {1, 1};
    const int64_t got = Stream.Read(bytes, unit);
    // A unit with one zero byte may start a UTF-16 text (U+00xx big-endian): not a terminator.
    if (got == unit && bytes[0] == 0 && (unit == 1 || bytes[1] == 0)) {
        Rest -= unit;
        return;
    }
    Stream.Seek(-got, TSeekOrigin::soCurrent);
}

void TEncodingFrame::ReadEncodingByte(TStream& Stream, int64_t& Rest) {
    uint8_t encodingByte = 0;
    if (Rest > 0 && ReadByte(Stream, encodingByte)) {
        Encoding = EncodingFromByte(encodingByte);
        --Rest;
    } else {
        Encoding = teISO8859_1;
        Rest = 0;
    }
}

std::span<const uint8_t> TEncodingFrame::TakeEncodingByte(std::span<const uint8_t> Content) {
    textsConvertible_ = true;
    if (Content.empty()) {
        Encoding = originalEncoding_ = teISO8859_1;
        return Content;
    }
    Encoding = originalEncoding_ = EncodingFromByte(Content[0]);
    return Content.subspan(1);
}

bool TEncodingFrame::LayoutFits(uint8_t FromMajor, uint8_t ToMajor) const {
    // Encrypted content: its encoding byte is unknown, but every 2.2/2.3 one exists in 2.4.
    if (!ContentReadable()) return ToMajor >= FromMajor && FromMajor >= 2;
    // An encoding byte that is none in the version read is none in a later one too: the
    // content goes as it was, no less readable than before.
    if (originalEncoding_ == teUnknown) return ToMajor >= FromMajor;
    return ToMajor >= 4 || originalEncoding_ == teISO8859_1 || originalEncoding_ == teUTF16;
}

std::string TEncodingFrame::RenderProblem(uint16_t) {
    if (Encoding == teUnknown) return "has an unknown text encoding, so it cannot be converted";
    if (!textsConvertible_ && !Modified)
        return "holds text that is not valid UTF-8, so it cannot be converted";
    return {};
}

void TEncodingFrame::NoteTextBytes(std::span<const uint8_t> Bytes) {
    if (Encoding == teUTF8 &&
        !IsValidUtf8(std::string_view(reinterpret_cast<const char*>(Bytes.data()), Bytes.size())))
        textsConvertible_ = false;
}

}  // namespace covrilo
