// SPDX-License-Identifier: MIT
#include "app/cli/InfoCommand.h"

#include <iomanip>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "app/cli/Json.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2APICTypes.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/frames/TAPICFrame.h"
#include "io/TextConversion.h"
#include "multitag/qmx_multitag.h"

namespace covrilo::cli {

namespace {

struct PictureInfo {
    int type = 0;
    std::string mime;
    std::u16string description;
    int64_t size = 0;
};

struct ID3v2Info {
    std::string version;
    uint32_t tagSize = 0;
    std::vector<std::string> frames;
    std::vector<PictureInfo> pictures;
};

struct FileInfo {
    std::filesystem::path path;
    bool opened = false;
    Ttrack track;
    std::optional<ID3v2Info> id3v2;
    bool id3v1 = false;
    std::string error;  // why the ID3v2 tag could not be read, if it could not
};

void Describe(const TID3v2Class& tag, FileInfo& info) {
    info.id3v1 = tag.HasID3v1;
    if (tag.Version == 0) return;
    ID3v2Info v2;
    v2.version = "2." + std::to_string(tag.Version >> 8) + "." + std::to_string(tag.Version & 0xFF);
    v2.tagSize = tag.TagSize;
    for (int i = 0; i < tag.FrameCount(); ++i) {
        TBaseFrame* frame = tag.Frames(i);
        if (dynamic_cast<TID3v1Tag*>(frame) != nullptr) continue;
        v2.frames.push_back(frame->FrameID());
        if (auto* apic = dynamic_cast<TAPICFrame*>(frame)) {
            v2.pictures.push_back({apic->PictureType, apic->MIMEType, apic->Description, apic->PictureData.Size()});
        }
    }
    info.id3v2 = std::move(v2);
}

FileInfo Inspect(Tqmx_multitag& facade, const std::filesystem::path& path) {
    FileInfo info;
    info.path = path;
    info.opened = facade.Open(path);
    info.track = facade.Track();
    // The tag the facade read is the one shown: the file is read once.
    if (const TID3v2Class* loaded = facade.LoadedID3v2()) {
        Describe(*loaded, info);
        facade.Close();
        return info;
    }
    facade.Close();
    if (!info.opened && !std::filesystem::exists(path)) {
        info.error = "file not found";
        return info;
    }
    try {
        // The facade could not read the tag: this read says why.
        Describe(TID3v2Class(path), info);
    } catch (const std::exception& e) {
        info.error = e.what();
    }
    return info;
}

void WriteJson(const FileInfo& f, std::ostream& out) {
    const Ttrack& t = f.track;
    out << "{\"path\": " << JsonString(f.path.string()) << ", \"opened\": " << (f.opened ? "true" : "false")
        << ", \"track\": {\"hasTag\": " << (t.GetHasTag() ? "true" : "false")
        << ", \"artist\": " << JsonString(t.GetArtist()) << ", \"title\": " << JsonString(t.GetTitle())
        << ", \"album\": " << JsonString(t.GetAlbum()) << ", \"year\": " << JsonString(AnsiToUtf8(t.GetYear()))
        << ", \"comment\": " << JsonString(t.GetComment()) << ", \"trackNo\": " << int(t.GetTrackNo())
        << ", \"genre\": " << JsonString(t.GetGenre()) << ", \"url\": " << JsonString(AnsiToUtf8(t.GetURL()))
        << ", \"encodedBy\": " << JsonString(t.GetEncodedBy()) << "}, \"id3v2\": ";
    if (!f.id3v2) {
        out << "null";
    } else {
        const ID3v2Info& v2 = *f.id3v2;
        out << "{\"version\": " << JsonString(v2.version) << ", \"tagSize\": " << v2.tagSize << ", \"frames\": [";
        for (size_t i = 0; i < v2.frames.size(); ++i) out << (i ? ", " : "") << JsonString(AnsiToUtf8(v2.frames[i]));
        out << "], \"pictures\": [";
        for (size_t i = 0; i < v2.pictures.size(); ++i) {
            const PictureInfo& p = v2.pictures[i];
            out << (i ? ", " : "") << "{\"type\": " << p.type << ", \"mime\": " << JsonString(AnsiToUtf8(p.mime))
                << ", \"description\": " << JsonString(p.description) << ", \"size\": " << p.size << "}";
        }
        out << "]}";
    }
    out << ", \"id3v1\": " << (f.id3v1 ? "true" : "false");
    if (!f.error.empty()) out << ", \"error\": " << JsonString(f.error);
    out << "}";
}

void WriteText(const FileInfo& f, std::ostream& out) {
    const Ttrack& t = f.track;
    auto line = [&out](const char* label, const std::string& value) {
        if (!value.empty()) out << "  " << std::left << std::setw(11) << label << value << "\n";
    };
    out << f.path.string() << "\n";
    line("opened:", f.opened ? "yes" : "no");
    if (!f.error.empty()) line("error:", f.error);
    line("tag:", t.GetHasTag() ? "yes" : "no");
    line("artist:", WideToUtf8(t.GetArtist()));
    line("title:", WideToUtf8(t.GetTitle()));
    line("album:", WideToUtf8(t.GetAlbum()));
    line("year:", AnsiToUtf8(t.GetYear()));
    line("track:", t.GetTrackNo() ? std::to_string(t.GetTrackNo()) : "");
    line("genre:", WideToUtf8(t.GetGenre()));
    line("comment:", WideToUtf8(t.GetComment()));
    line("url:", AnsiToUtf8(t.GetURL()));
    line("encoded by:", WideToUtf8(t.GetEncodedBy()));
    if (f.id3v2) {
        std::string frames;
        for (const auto& id : f.id3v2->frames) frames += (frames.empty() ? "" : " ") + id;
        line("ID3v2:", f.id3v2->version + ", tag size " + std::to_string(f.id3v2->tagSize) + " bytes");
        line("frames:", frames.empty() ? "(none)" : frames);
        for (const PictureInfo& p : f.id3v2->pictures) {
            std::string text = std::to_string(p.type) + " " + PictureTypeName(static_cast<uint8_t>(p.type)) + ", " +
                               p.mime + ", " + std::to_string(p.size) + " bytes";
            if (!p.description.empty()) text += ", \"" + WideToUtf8(p.description) + "\"";
            line("picture:", text);
        }
    } else {
        line("ID3v2:", "none");
    }
    line("ID3v1:", f.id3v1 ? "yes" : "no");
}

}  // namespace

int RunInfo(const std::vector<std::filesystem::path>& Files, bool Json, std::ostream& Out) {
    Tqmx_multitag facade;
    facade.SetMpegReadTags(tsID3v1ID3v2);
    facade.SetMpegWriteTags(tsID3v1ID3v2);
    int status = 0;
    if (Json) Out << "[";
    for (size_t i = 0; i < Files.size(); ++i) {
        FileInfo info = Inspect(facade, Files[i]);
        if (!info.opened) status = 1;
        if (Json) {
            Out << (i ? ",\n " : "\n ");
            WriteJson(info, Out);
        } else {
            if (i) Out << "\n";
            WriteText(info, Out);
        }
    }
    if (Json) Out << (Files.empty() ? "]\n" : "\n]\n");
    return status;
}

}  // namespace covrilo::cli
