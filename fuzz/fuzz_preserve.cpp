// SPDX-License-Identifier: MIT
// The rule a save may not break, on arbitrary tag bytes: the facade adds a cover (any format,
// two kinds) or removes the pictures; the save either answers false and leaves the file byte
// for byte as it was, or leaves a file whose frames, read again, include every frame of the
// first read that was not rewritten by design, with its values, and every value of the text
// frames it rewrote.
//
// Input: byte 0 chooses the operation (add as 2.3 Latin-1, 2.3 UTF-16, 2.4 UTF-8; remove),
// byte 1 the kind of picture (front cover or other); the rest is the start of the file, after
// which some audio stand-in follows.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TBaseDataFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TContainerFrame.h"
#include "id3v2/frames/TEncodedFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TRawFrame.h"
#include "id3v2/frames/TRegistrationFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TWURLFrame.h"
#include "id3v2/frames/TWXXXFrame.h"
#include "multitag/qmx_multitag.h"

using namespace covrilo;

namespace {

void Fail(const char* What, const std::string& Detail = "") {
    std::fprintf(stderr, "check failed: %s %s\n", What, Detail.c_str());
    std::abort();
}

std::string Wide(const std::u16string& Text) {
    std::string out;
    for (char16_t c : Text) {
        out.push_back(static_cast<char>(c >> 8));
        out.push_back(static_cast<char>(c & 0xFF));
    }
    return out;
}

std::string Raw(const std::vector<uint8_t>& Bytes) { return std::string(Bytes.begin(), Bytes.end()); }

// What a frame holds, whatever version and encoding it is written in.
std::string Signature(TBaseFrame& Frame) {
    std::string s = Frame.FrameID() + "|";
    if (!Frame.ContentReadable()) return s + "unreadable";
    if (auto* f = dynamic_cast<TTxxxFrame*>(&Frame)) {
        s += Wide(f->Text);
        for (const auto& more : f->MoreTexts) s += "|" + Wide(more);
    } else if (auto* f = dynamic_cast<TCOMMFrame*>(&Frame)) {
        s += f->Language() + "|" + Wide(f->Description) + "|" + Wide(f->Text);
        for (const auto& more : f->MoreTexts) s += "|" + Wide(more);
    } else if (auto* f = dynamic_cast<TWXXXFrame*>(&Frame)) {
        s += Wide(f->Description) + "|" + f->URL;
    } else if (auto* f = dynamic_cast<TWURLFrame*>(&Frame)) {
        s += f->URL;
    } else if (auto* f = dynamic_cast<TAPICFrame*>(&Frame)) {
        s += f->MIMEType + "|" + std::to_string(f->PictureType) + "|" + Wide(f->Description) + "|" +
             f->LinkURL + "|" + Raw(f->PictureData.Data());
    } else if (auto* f = dynamic_cast<TRegistrationFrame*>(&Frame)) {
        s += f->OwnerID + "|" + std::to_string(f->Symbol) + "|" + Raw(f->Data.Data());
    } else if (auto* f = dynamic_cast<TPRIVFrame*>(&Frame)) {
        s += f->OwnerID + "|" + Raw(f->Data.Data());
    } else if (auto* f = dynamic_cast<TBaseDataFrame*>(&Frame)) {
        s += Raw(f->Data.Data());
    } else if (auto* f = dynamic_cast<TRawFrame*>(&Frame)) {
        s += Raw(std::vector<uint8_t>(f->Bytes.begin() + (MajorVersion(f->LoadedVersion) == 2 ? 6 : 10),
                                      f->Bytes.end()));
    } else if (auto* f = dynamic_cast<TContainerFrame*>(&Frame)) {
        std::vector<std::string> subs;
        for (const auto& sub : f->SubFrames) subs.push_back(Signature(*sub));
        std::sort(subs.begin(), subs.end());
        for (const auto& sub : subs) s += "{" + sub + "}";
    } else if (dynamic_cast<TEncodedFrame*>(&Frame) != nullptr) {
        // Re-encoded for 2.3 where its encoding is 2.4's: only its being there is compared.
    }
    return s;
}

struct TFirstRead {
    std::multiset<std::string> Kept;                            // frames not rewritten by design
    std::map<std::string, std::vector<std::u16string>> Values;  // values of rewritten text frames
    // The date frames take the target version's form: compared by the unit tests, not here.
    bool DatesConverted = false;
};

bool IsDateFrame(const std::string& ID) {
    return ID == "TYER" || ID == "TDRC" || ID == "TDAT" || ID == "TIME" || ID == "TORY" || ID == "TDOR";
}

TFirstRead ReadFirst(const std::filesystem::path& File, bool Adding, int Type) {
    TFirstRead read;
    TID3v2Class tag(File);
    read.DatesConverted = Adding || MajorVersion(tag.Version) == 2;
    // The record's comment and link are the last ones without a description.
    TBaseFrame* comment = nullptr;
    TBaseFrame* link = nullptr;
    for (int i = 0; i < tag.FrameCount(); ++i) {
        TBaseFrame* frame = tag.Frames(i);
        if (auto* c = dynamic_cast<TCOMMFrame*>(frame); c && c->FrameID() == "COMM" && c->Description.empty())
            comment = c;
        if (auto* w = dynamic_cast<TWXXXFrame*>(frame); w && w->FrameID() == "WXXX" && w->Description.empty())
            link = w;
    }
    static const std::set<std::string> rewritten = {"TPE1", "TIT2", "TALB", "TRCK", "TCON", "TENC"};
    for (int i = 0; i < tag.FrameCount(); ++i) {
        TBaseFrame* frame = tag.Frames(i);
        if (dynamic_cast<TID3v1Tag*>(frame) != nullptr) continue;
        const std::string id = frame->FrameID();
        auto* apic = dynamic_cast<TAPICFrame*>(frame);
        if (apic != nullptr && (!Adding || (apic->ContentReadable() && apic->PictureType == Type))) continue;
        if (Adding && (rewritten.count(id) || IsDateFrame(id) || frame == comment || frame == link)) {
            if (auto* text = dynamic_cast<TTxxxFrame*>(frame);
                text && id != "TCON" && id != "TRCK" && !IsDateFrame(id)) {
                auto& values = read.Values[id];
                values.push_back(text->Text);
                values.insert(values.end(), text->MoreTexts.begin(), text->MoreTexts.end());
            }
            continue;
        }
        read.Kept.insert(Signature(*frame));
    }
    return read;
}

const std::filesystem::path& Cover() {
    static const std::filesystem::path file = [] {
        std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
        for (int i = 0; i < 100; ++i) jpeg.push_back(static_cast<uint8_t>(i * 13));
        return fuzz::WriteInput("cover.jpg", jpeg.data(), jpeg.size());
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 2) return 0;
    const int operation = Data[0] % 4;
    const bool adding = operation < 3;
    const char* kind = Data[1] % 2 == 0 ? "FrontCover" : "Other";
    const int type = Data[1] % 2 == 0 ? 3 : 0;
    std::vector<uint8_t> content(Data + 2, Data + Size);
    // Audio: three MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz), which no tag reader takes
    // for a tag (a save refuses a file without audio).
    for (int frame = 0; frame < 3; ++frame) {
        const uint8_t header[4] = {0xFF, 0xFB, 0x90, 0x00};
        content.insert(content.end(), header, header + 4);
        for (int i = 4; i < 417; ++i) content.push_back(static_cast<uint8_t>(i * 7 + frame));
    }
    const std::filesystem::path cover = Cover();
    const std::filesystem::path file = fuzz::WriteInput("input.mp3", content.data(), content.size());

    TFirstRead first;
    try {
        first = ReadFirst(file, adding, type);
    } catch (const std::exception&) {
        return 0;  // a file the engine cannot open at all
    }

    Tqmx_multitag facade;
    facade.SetMpegReadTags(tsID3v1ID3v2);
    facade.SetMpegWriteTags(tsID3v1ID3v2);
    bool saved = false;
    try {
        facade.Open(file);
        if (adding) {
            facade.ID3v2Format = static_cast<uint8_t>(operation);
            facade.AddPicture({cover, kind, ""});
            saved = facade.Save();
        } else {
            saved = facade.RemoveAllPictures();
        }
    } catch (const EID3LibException&) {
        saved = false;
    } catch (const EAssertionFailed&) {
        saved = false;
    }
    if (!saved) {
        if (fuzz::ReadAll(file) != content) Fail("a save that did not succeed changed the file");
        return 0;
    }

    // Written: every frame kept by design is there, and every value of the rewritten ones.
    TID3v2Class again(file);
    std::multiset<std::string> now;
    std::map<std::string, std::vector<std::u16string>> values;
    for (int i = 0; i < again.FrameCount(); ++i) {
        TBaseFrame* frame = again.Frames(i);
        if (dynamic_cast<TID3v1Tag*>(frame) != nullptr) continue;
        now.insert(Signature(*frame));
        if (auto* text = dynamic_cast<TTxxxFrame*>(frame)) {
            auto& v = values[text->FrameID()];
            v.push_back(text->Text);
            v.insert(v.end(), text->MoreTexts.begin(), text->MoreTexts.end());
        }
    }
    std::multiset<std::string> missing;
    std::set_difference(first.Kept.begin(), first.Kept.end(), now.begin(), now.end(),
                        std::inserter(missing, missing.begin()));
    for (const std::string& lost : missing)
        if (!(first.DatesConverted && IsDateFrame(lost.substr(0, 4))))
            Fail("a frame was lost or changed:", lost.substr(0, 80));
    for (const auto& [id, old] : first.Values)
        for (const std::u16string& value : old)
            if (!value.empty() && std::find(values[id].begin(), values[id].end(), value) == values[id].end())
                Fail("a value of a rewritten frame was lost:", id);
    return 0;
}
