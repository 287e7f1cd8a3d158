// SPDX-License-Identifier: MIT
// The TagLib peer of the benchmark: the same three jobs as covrilo-cli, one process for all
// files, written the way a TagLib program does them (ID3v2.3, the ID3v1 record kept).
//   taglib_cover add COVER FILE...   a front cover (replacing one), saved as ID3v2.3 + ID3v1
//   taglib_cover remove FILE...      every attached picture removed
//   taglib_cover info FILE...        title and artist
#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tfile.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: taglib_cover add COVER FILE... | remove FILE... | info FILE...\n";
        return 2;
    }
    const std::string job = argv[1];
    int first = 2;
    TagLib::ByteVector cover;
    if (job == "add") {
        if (argc < 3) return 2;
        std::ifstream in(argv[2], std::ios::binary);
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        cover = TagLib::ByteVector(bytes.data(), static_cast<unsigned>(bytes.size()));
        first = 3;
    }
    int failed = 0;
    for (int i = first; i < argc; ++i) {
        TagLib::MPEG::File file(argv[i], false);
        if (!file.isValid()) {
            std::cerr << argv[i] << ": not opened\n";
            ++failed;
            continue;
        }
        if (job == "info") {
            TagLib::Tag* tag = file.tag();
            std::cout << argv[i] << "\t" << tag->title().to8Bit(true) << "\t" << tag->artist().to8Bit(true)
                      << "\n";
            continue;
        }
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        const TagLib::ID3v2::FrameList pictures =
            tag->frameList("APIC");  // a copy: removing changes the tag's
        for (TagLib::ID3v2::Frame* frame : pictures) {
            auto* picture = static_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
            if (job == "remove" || picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
                tag->removeFrame(frame);
        }
        if (job == "add") {
            auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
            picture->setMimeType("image/jpeg");
            picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
            picture->setPicture(cover);
            tag->addFrame(picture);
        }
        if (!file.save(TagLib::MPEG::File::AllTags, TagLib::File::StripNone, TagLib::ID3v2::v3)) {
            std::cerr << argv[i] << ": not saved\n";
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
