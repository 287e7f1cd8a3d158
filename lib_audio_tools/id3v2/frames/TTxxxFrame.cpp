// SPDX-License-Identifier: MIT
#include "id3v2/frames/TTxxxFrame.h"

#include <algorithm>

#include "id3v1/ID3GenreData.h"
#include "id3v1/ID3v1Types.h"
#include "io/TextConversion.h"

namespace covrilo {

namespace {
// More strings than this in one frame are hostile input, not values; the rest is skipped.
constexpr size_t kMaxStrings = 65536;
}  // namespace

TTxxxFrame::TTxxxFrame() { SetFrameID("Txxx"); }

uint32_t TTxxxFrame::GetDataSize(uint16_t Version) { return RenderedSize(Version); }

bool TTxxxFrame::LoadFromStream(TStream& Stream, uint16_t Version) { return ParseFrame(Stream, Version); }

bool TTxxxFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    RefusePlaceholderID("Txxx");
    // A text frame written is not thereby one read from a file: Stored stays as it was.
    const bool WasStored = Stored;
    const bool Ok = RenderFrame(Stream, Version);
    Stored = WasStored;
    return Ok;
}

void TTxxxFrame::ClearFields() {
    Text.clear();
    MoreTexts.clear();
}

void TTxxxFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    const std::span<const uint8_t> All = TakeEncodingByte(Content);
    NoteTextBytes(All);
    size_t Pos = ParseText(All, BigEndian, Text, Encoding);
    // A trailing piece shorter than one character unit is no string.
    const size_t Unit = (Encoding == teUTF16 || Encoding == teUTF16BE) ? 2 : 1;
    while (All.size() - Pos >= Unit && MoreTexts.size() < kMaxStrings) {
        bool MoreBigEndian = false;
        std::u16string More;
        Pos += ParseText(All.subspan(Pos), MoreBigEndian, More, Encoding);
        MoreTexts.push_back(std::move(More));
    }
}

std::vector<uint8_t> TTxxxFrame::RenderFields(uint16_t Version) {
    const TTextEncoding Target = RenderedEncoding(Version);
    std::vector<uint8_t> Out{EncodingToByte(Target)};
    AppendText(Out, Text, BigEndian, Target);
    for (const auto& More : MoreTexts) AppendText(Out, More, BigEndian, Target);
    return Out;
}

bool TTxxxFrame::Assign(const TBaseFrame& Source) {
    if (const auto* Other = dynamic_cast<const TTxxxFrame*>(&Source)) {
        Encoding = Other->Encoding;
        Text = Other->Text;
        MoreTexts = Other->MoreTexts;
        Modified = true;
        return true;
    }
    if (const auto* Record = dynamic_cast<const TID3v1Tag*>(&Source)) {
        const std::string ID = FrameID();
        if (ID == "TIT2") {
            SetText(AnsiToWide(Record->Title));
        } else if (ID == "TPE1") {
            SetText(AnsiToWide(Record->Artist));
        } else if (ID == "TALB") {
            SetText(AnsiToWide(Record->Album));
        } else if (ID == "TYER") {
            SetText(AnsiToWide(Record->Year));
        } else if (ID == "TRCK") {
            if (!Record->IsVersion11) return false;
            SetText(AnsiToWide(std::to_string(Record->TrackNo)));
        } else if (ID == "TCON") {
            // Genre bytes beyond the table (255 means "none") have no name.
            SetText(Record->Genre < ID3Genres.size() ? AnsiToWide(ID3Genres[Record->Genre]) : std::u16string());
        } else {
            return false;
        }
        return true;
    }
    return false;
}

void TTxxxFrame::SetText(std::u16string_view NewText) {
    if (Text == NewText) return;
    Text = NewText;
    Modified = true;
}

}  // namespace covrilo
