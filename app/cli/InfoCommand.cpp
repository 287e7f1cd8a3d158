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
    int Type = 0;
    std::string Mime;
    std::u16string Description;
    int64_t Size = 0;
};

struct ID3v2Info {
    std::string Version;
    uint32_t TagSize = 0;
    std::vector<std::string> Frames;
    std::vector<PictureInfo> Pictures;
};

struct FileInfo {
    std::filesystem::path Path;
    bool Opened = false;
    Ttrack Track;
    std::optional<ID3v2Info> Id3v2;
    bool Id3v1 = false;
    std::string Error;  // why the ID3v2 tag could not be read, if it could not
};

void Describe(const TID3v2Class& Tag, FileInfo& Info) {
    Info.Id3v1 = Tag.HasID3v1;
    if (Tag.Version == 0) return;
    ID3v2Info v2;
    v2.Version = "2." + std::to_string(Tag.Version >> 8) + "." + std::to_string(Tag.Version & 0xFF);
    v2.TagSize = Tag.TagSize;
    for (int i = 0; i < Tag.FrameCount(); ++i) {
        TBaseFrame* frame = Tag.Frames(i);
        if (dynamic_cast<TID3v1Tag*>(frame) != nullptr) continue;
        v2.Frames.push_back(frame->FrameID());
        if (auto* apic = dynamic_cast<TAPICFrame*>(frame)) {
            v2.Pictures.push_back(
                {apic->PictureType, apic->MIMEType, apic->Description, apic->PictureData.Size()});
        }
    }
    Info.Id3v2 = std::move(v2);
}

FileInfo Inspect(Tqmx_multitag& Facade, const std::filesystem::path& Path) {
    FileInfo info;
    info.Path = Path;
    info.Opened = Facade.Open(Path);
    info.Track = Facade.Track();
    // The tag the facade read is the one shown: the file is read once.
    if (const TID3v2Class* loaded = Facade.LoadedID3v2()) {
        Describe(*loaded, info);
        Facade.Close();
        return info;
    }
    Facade.Close();
    if (!info.Opened && !std::filesystem::exists(Path)) {
        info.Error = "file not found";
        return info;
    }
    try {
        // The facade could not read the tag: this read says why.
        Describe(TID3v2Class(Path), info);
    } catch (const std::exception& e) {
        info.Error = e.what();
    }
    return info;
}

void WriteJson(const FileInfo& F, std::ostream& Out) {
    const Ttrack& t = F.Track;
    Out << "{\"path\": " << JsonString(F.Path.string()) << ", \"opened\": " << (F.Opened ? "true" : "false")
        << ", \"track\": {\"hasTag\": " << (t.GetHasTag() ? "true" : "false")
        << ", \"artist\": " << JsonString(t.GetArtist()) << ", \"title\": " << JsonString(t.GetTitle())
        << ", \"album\": " << JsonString(t.GetAlbum())
        << ", \"year\": " << JsonString(AnsiToUtf8(t.GetYear()))
        << ", \"comment\": " << JsonString(t.GetComment()) << ", \"trackNo\": " << int(t.GetTrackNo())
        << ", \"genre\": " << JsonString(t.GetGenre()) << ", \"url\": " << JsonString(AnsiToUtf8(t.GetURL()))
        << ", \"encodedBy\": " << JsonString(t.GetEncodedBy()) << "}, \"id3v2\": ";
    if (!F.Id3v2) {
        Out << "null";
    } else {
        const ID3v2Info& v2 = *F.Id3v2;
        Out << "{\"version\": " << JsonString(v2.Version) << ", \"tagSize\": " << v2.TagSize
            << ", \"frames\": [";
        for (size_t i = 0; i < v2.Frames.size(); ++i)
            Out << (i ? ", " : "") << JsonString(AnsiToUtf8(v2.Frames[i]));
        Out << "], \"pictures\": [";
        for (size_t i = 0; i < v2.Pictures.size(); ++i) {
            const PictureInfo& p = v2.Pictures[i];
            Out << (i ? ", " : "") << "{\"type\": " << p.Type
                << ", \"mime\": " << JsonString(AnsiToUtf8(p.Mime))
                << ", \"description\": " << JsonString(p.Description) << ", \"size\": " << p.Size << "}";
        }
        Out << "]}";
    }
    Out << ", \"id3v1\": " << (F.Id3v1 ? "true" : "false");
    if (!F.Error.empty()) Out << ", \"error\": " << JsonString(F.Error);
    Out << "}";
}

void WriteText(const FileInfo& F, std::ostream& Out) {
    const Ttrack& t = F.Track;
    auto line = [&Out](const char* Label, const std::string& Value) {
        if (!Value.empty()) Out << "  " << std::left << std::setw(11) << Label << Value << "\n";
    };
    Out << F.Path.string() << "\n";
    line("opened:", F.Opened ? "yes" : "no");
    if (!F.Error.empty()) line("error:", F.Error);
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
    if (F.Id3v2) {
        std::string frames;
        for (const auto& id : F.Id3v2->Frames) frames += (frames.empty() ? "" : " ") + id;
        line("ID3v2:", F.Id3v2->Version + ", tag size " + std::to_string(F.Id3v2->TagSize) + " bytes");
        line("frames:", frames.empty() ? "(none)" : frames);
        for (const PictureInfo& p : F.Id3v2->Pictures) {
            std::string text = std::to_string(p.Type) + " " + PictureTypeName(static_cast<uint8_t>(p.Type)) +
                               ", " + p.Mime + ", " + std::to_string(p.Size) + " bytes";
            if (!p.Description.empty()) text += ", \"" + WideToUtf8(p.Description) + "\"";
            line("picture:", text);
        }
    } else {
        line("ID3v2:", "none");
    }
    line("ID3v1:", F.Id3v1 ? "yes" : "no");
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
        if (!info.Opened) status = 1;
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
