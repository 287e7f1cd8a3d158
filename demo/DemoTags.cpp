// SPDX-License-Identifier: MIT
#include "DemoTags.h"

#include <memory>
#include <string_view>

#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "io/TextConversion.h"

namespace covrilo::demo {

bool TagDemoFile(const std::filesystem::path& File, const DemoTrack& Track) {
    if (Track.Id3Version == 0) return false;
    const TTextEncoding encoding = MajorVersion(Track.Id3Version) >= 4 ? teUTF8 : teUTF16;
    TID3v2Class tag(File);
    auto addText = [&](std::string_view Id, const std::string& Utf8) {
        if (Utf8.empty()) return;
        auto frame = std::make_unique<TTxxxFrame>();
        frame->SetFrameID(Id);
        frame->Encoding = encoding;
        frame->SetText(Utf8ToWide(Utf8));
        tag.AddFrame(std::move(frame));
    };
    addText("TIT2", Track.Title);
    addText("TPE1", Track.Artist);
    addText("TALB", Track.Album);
    addText("TRCK", Track.TrackNo > 0 ? std::to_string(Track.TrackNo) : std::string());
    // 2.4 dropped "TYER" for the recording time "TDRC".
    addText(MajorVersion(Track.Id3Version) >= 4 ? "TDRC" : "TYER", Track.Year);
    auto comment = std::make_unique<TCOMMFrame>();
    comment->Encoding = encoding;
    comment->SetLanguage("eng");
    comment->SetText(u"Silent demo audio from make_demo_files");
    tag.AddFrame(std::move(comment));
    return tag.SaveToFile(Track.Id3Version);
}

}  // namespace covrilo::demo
