// SPDX-License-Identifier: MIT
#include "DemoTags.h"

#include <memory>
#include <string_view>

#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "io/TextConversion.h"

namespace covrilo::demo {

bool TagDemoFile(const std::filesystem::path& file, const DemoTrack& track) {
    if (track.id3Version == 0) return false;
    const TTextEncoding encoding = MajorVersion(track.id3Version) >= 4 ? teUTF8 : teUTF16;
    TID3v2Class tag(file);
    auto addText = [&](std::string_view id, const std::string& utf8) {
        if (utf8.empty()) return;
        auto frame = std::make_unique<TTxxxFrame>();
        frame->SetFrameID(id);
        frame->Encoding = encoding;
        frame->SetText(Utf8ToWide(utf8));
        tag.AddFrame(std::move(frame));
    };
    addText("TIT2", track.title);
    addText("TPE1", track.artist);
    addText("TALB", track.album);
    addText("TRCK", track.trackNo > 0 ? std::to_string(track.trackNo) : std::string());
    // 2.4 dropped "TYER" for the recording time "TDRC".
    addText(MajorVersion(track.id3Version) >= 4 ? "TDRC" : "TYER", track.year);
    auto comment = std::make_unique<TCOMMFrame>();
    comment->Encoding = encoding;
    comment->SetLanguage("eng");
    comment->SetText(u"Silent demo audio from make_demo_files");
    tag.AddFrame(std::move(comment));
    return tag.SaveToFile(track.id3Version);
}

}  // namespace covrilo::demo
