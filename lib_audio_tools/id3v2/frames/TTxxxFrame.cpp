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
    const bool wasStored = Stored;
    const bool ok = RenderFrame(Stream, Version);
    Stored = wasStored;
    return ok;
}

void TTxxxFrame::ClearFields() {
    Text.clear();
    MoreTexts.clear();
}

void TTxxxFrame::ParseFields(std::span<const uint8_t> Content, uint16_t) {
    const std::span<const uint8_t> all = TakeEncodingByte(Content);
    NoteTextBytes(all);
    size_t pos = ParseText(all, BigEndian, Text, Encoding);
    // A trailing piece shorter than one character unit is no string.
    const size_t unit = (Encoding == teUTF16 || Encoding == teUTF16BE) ? 2 : 1;
    while (all.size() - pos >= unit && MoreTexts.size() < kMaxStrings) {
        bool moreBigEndian = false;
        std::u16string more;
        pos += ParseText(all.subspan(pos), moreBigEndian, more, Encoding);
        MoreTexts.push_back(std::move(more));
    }
}

std::vector<uint8_t> TTxxxFrame::RenderFields(uint16_t Version) {
    const TTextEncoding target = RenderedEncoding(Version);
    std::vector<uint8_t> out{EncodingToByte(target)};
    AppendText(out, Text, BigEndian, target);
    for (const auto& more : MoreTexts) AppendText(out, more, BigEndian, target);
    return out;
}

bool TTxxxFrame::Assign(const TBaseFrame& Source) {
    if (const auto* other = dynamic_cast<const TTxxxFrame*>(&Source)) {
        Encoding = other->Encoding;
        Text = other->Text;
        MoreTexts = other->MoreTexts;
        Modified = true;
        return true;
    }
    if (const auto* record = dynamic_cast<const TID3v1Tag*>(&Source)) {
        const std::string id = FrameID();
        if (id == "TIT2") {
            SetText(AnsiToWide(record->Title));
        } else if (id == "TPE1") {
            SetText(AnsiToWide(record->Artist));
        } else if (id == "TALB") {
            SetText(AnsiToWide(record->Album));
        } else if (id == "TYER") {
            SetText(AnsiToWide(record->Year));
        } else if (id == "TRCK") {
            if (!record->IsVersion11) return false;
            SetText(AnsiToWide(std::to_string(record->TrackNo)));
        } else if (id == "TCON") {
            // Genre bytes beyond the table (255 means "none") have no name.
            SetText(record->Genre < ID3Genres.size() ? AnsiToWide(ID3Genres[record->Genre])
                                                     : std::u16string());
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
