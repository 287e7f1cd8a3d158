// SPDX-License-Identifier: MIT
// taglib_dump FILE: prints, as one JSON object, what TagLib reads from an audio file. A peer
// oracle for the interop tests; the schema matches mutagen_dump.py (see tests/interop/README.md):
//   {"tool", "format", "valid", "id3v2", "id3v1", "ape", "xiph", "asf", "pictures", "audio"}
// Parts the file lacks are null. TagLib reports ID3v2 frames with 2.4 identifiers (its frame
// factory upgrades 2.2/2.3 frames while reading), which the README lists.
// Exit status: 0 dumped, 1 TagLib could not open the file, 2 usage. With several files it
// prints one object per line (the preservation campaign dumps hundreds in one run); a file
// TagLib cannot open then gives {"tool":"taglib","path":..,"open":false} and the exit status 1.
#include <taglib/apeitem.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/flacpicture.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/privateframe.h>
#include <taglib/tdebuglistener.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unknownframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/urllinkframe.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "../Sha256.h"

namespace {

using covrilo::test::Sha256Hex;

// TagLib's debug chatter would interleave with the JSON on some builds; keep it on stderr only.
class StderrListener : public TagLib::DebugListener {
   public:
    void printMessage(const TagLib::String& Msg) override { std::cerr << Msg.to8Bit(true); }
};

std::string Quote(const std::string& S) {
    std::string out = "\"";
    for (char c : S) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x",
                                  static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += buf;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string Quote(const TagLib::String& S) { return Quote(S.to8Bit(true)); }

std::string Hex(const TagLib::ByteVector& Data) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(Data.size() * 2);
    for (unsigned i = 0; i < Data.size(); ++i) {
        auto b = static_cast<unsigned char>(Data[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string Sha(const TagLib::ByteVector& Data) {
    return Sha256Hex(reinterpret_cast<const uint8_t*>(Data.data()), Data.size());
}

std::string QuoteList(const TagLib::StringList& List) {
    std::string out = "[";
    bool first = true;
    for (const auto& s : List) {
        if (!first) out += ",";
        first = false;
        out += Quote(s);
    }
    return out + "]";
}

// A JSON object assembled member by member.
class Obj {
   public:
    Obj& Add(const std::string& Key, const std::string& Json) {
        members_.push_back(Quote(Key) + ":" + Json);
        return *this;
    }
    Obj& Str(const std::string& Key, const TagLib::String& S) { return Add(Key, Quote(S)); }
    Obj& Str(const std::string& Key, const std::string& S) { return Add(Key, Quote(S)); }
    Obj& Str(const std::string& Key, const char* S) { return Add(Key, Quote(std::string(S))); }
    Obj& Num(const std::string& Key, long long N) { return Add(Key, std::to_string(N)); }
    std::string Json() const {
        std::string out = "{";
        for (size_t i = 0; i < members_.size(); ++i) {
            if (i) out += ",";
            out += members_[i];
        }
        return out + "}";
    }

   private:
    std::vector<std::string> members_;
};

std::string FrameJson(TagLib::ID3v2::Frame* Frame) {
    using namespace TagLib::ID3v2;
    Obj o;
    std::string id(Frame->frameID().data(), Frame->frameID().size());
    o.Str("id", id);
    if (auto* f = dynamic_cast<UserTextIdentificationFrame*>(Frame)) {
        // TagLib keeps the description as the first field of a TXXX frame.
        TagLib::StringList fields = f->fieldList();
        TagLib::StringList values;
        for (unsigned i = 1; i < fields.size(); ++i) values.append(fields[i]);
        o.Num("encoding", f->textEncoding())
            .Str("description", f->description())
            .Add("text", QuoteList(values));
    } else if (auto* f = dynamic_cast<TextIdentificationFrame*>(Frame)) {
        o.Num("encoding", f->textEncoding()).Add("text", QuoteList(f->fieldList()));
    } else if (auto* f = dynamic_cast<CommentsFrame*>(Frame)) {
        o.Num("encoding", f->textEncoding())
            .Str("lang", std::string(f->language().data(), f->language().size()))
            .Str("description", f->description())
            .Str("text", f->text());
    } else if (auto* f = dynamic_cast<UnsynchronizedLyricsFrame*>(Frame)) {
        o.Num("encoding", f->textEncoding())
            .Str("lang", std::string(f->language().data(), f->language().size()))
            .Str("description", f->description())
            .Str("text", f->text());
    } else if (auto* f = dynamic_cast<AttachedPictureFrame*>(Frame)) {
        o.Num("encoding", f->textEncoding())
            .Str("mime", f->mimeType())
            .Num("type", f->type())
            .Str("description", f->description())
            .Num("size", f->picture().size())
            .Str("sha256", Sha(f->picture()));
    } else if (auto* f = dynamic_cast<PrivateFrame*>(Frame)) {
        o.Str("owner", f->owner()).Str("data", Hex(f->data()));
    } else if (auto* f = dynamic_cast<UserUrlLinkFrame*>(Frame)) {
        o.Num("encoding", f->textEncoding()).Str("description", f->description()).Str("url", f->url());
    } else if (auto* f = dynamic_cast<UrlLinkFrame*>(Frame)) {
        o.Str("url", f->url());
    } else if (auto* f = dynamic_cast<UnknownFrame*>(Frame)) {
        o.Str("data", Hex(f->data()));
    } else {
        // A kind TagLib models but we do not list: its body as TagLib renders it back.
        o.Str("data", Hex(Frame->render().mid(Frame->headerSize())));
    }
    return o.Json();
}

std::string Id3v2Json(TagLib::ID3v2::Tag* Tag) {
    if (Tag == nullptr || Tag->header() == nullptr) return "null";
    const auto* header = Tag->header();
    std::string frames = "[";
    bool first = true;
    for (auto* frame : Tag->frameList()) {
        if (!first) frames += ",";
        first = false;
        frames += FrameJson(frame);
    }
    frames += "]";
    return Obj()
        .Str("version",
             "2." + std::to_string(header->majorVersion()) + "." + std::to_string(header->revisionNumber()))
        .Num("size", header->completeTagSize())
        .Add("frames", frames)
        .Json();
}

std::string Id3v1Json(TagLib::ID3v1::Tag* Tag) {
    if (Tag == nullptr) return "null";
    return Obj()
        .Str("title", Tag->title())
        .Str("artist", Tag->artist())
        .Str("album", Tag->album())
        .Str("year", Tag->year() == 0 ? std::string() : std::to_string(Tag->year()))
        .Str("comment", Tag->comment())
        .Num("track", Tag->track())
        .Num("genre", Tag->genreNumber())
        .Json();
}

std::string ApeJson(TagLib::APE::Tag* Tag) {
    if (Tag == nullptr) return "null";
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto& [mapKey, item] : Tag->itemListMap()) {
        Obj o;
        o.Str("key", item.key());
        switch (item.type()) {
            case TagLib::APE::Item::Text:
                o.Str("type", "text").Add("values", QuoteList(item.values()));
                break;
            case TagLib::APE::Item::Binary:
                o.Str("type", "binary")
                    .Num("size", item.binaryData().size())
                    .Str("sha256", Sha(item.binaryData()));
                break;
            case TagLib::APE::Item::Locator:
                o.Str("type", "external").Add("values", QuoteList(item.values()));
                break;
        }
        items.emplace_back(item.key().to8Bit(true), o.Json());
    }
    std::sort(items.begin(), items.end());
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) out += (i ? "," : "") + items[i].second;
    return Obj().Add("items", out + "]").Json();
}

std::string PictureJson(const TagLib::FLAC::Picture& P) {
    return Obj()
        .Num("type", P.type())
        .Str("mime", P.mimeType())
        .Str("description", P.description())
        .Num("width", P.width())
        .Num("height", P.height())
        .Num("size", P.data().size())
        .Str("sha256", Sha(P.data()))
        .Json();
}

std::string PicturesJson(const TagLib::List<TagLib::FLAC::Picture*>& A,
                         const TagLib::List<TagLib::FLAC::Picture*>& B) {
    std::string out = "[";
    bool first = true;
    for (const auto* list : {&A, &B}) {
        for (const auto* p : *list) {
            if (!first) out += ",";
            first = false;
            out += PictureJson(*p);
        }
    }
    return out + "]";
}

std::string XiphJson(TagLib::Ogg::XiphComment* Comment) {
    if (Comment == nullptr) return "null";
    Obj fields;  // TagLib's map is already sorted by key
    for (const auto& [key, values] : Comment->fieldListMap()) fields.Add(key.to8Bit(true), QuoteList(values));
    return Obj().Str("vendor", Comment->vendorID()).Add("fields", fields.Json()).Json();
}

// One ASF attribute as text: Unicode as is, numbers in decimal, booleans "true"/"false",
// byte arrays and GUIDs in hex.
std::string AsfValue(const TagLib::ASF::Attribute& A) {
    switch (A.type()) {
        case TagLib::ASF::Attribute::UnicodeType:
            return A.toString().to8Bit(true);
        case TagLib::ASF::Attribute::BoolType:
            return A.toBool() ? "true" : "false";
        case TagLib::ASF::Attribute::DWordType:
            return std::to_string(A.toUInt());
        case TagLib::ASF::Attribute::QWordType:
            return std::to_string(A.toULongLong());
        case TagLib::ASF::Attribute::WordType:
            return std::to_string(A.toUShort());
        case TagLib::ASF::Attribute::BytesType:
        case TagLib::ASF::Attribute::GuidType:
            return Hex(A.toByteVector());
    }
    return std::string();
}

// The content description fields under their attribute names, then every extended attribute.
std::string AsfJson(TagLib::ASF::Tag* Tag) {
    if (Tag == nullptr) return "null";
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
    const std::pair<const char*, TagLib::String> described[] = {{"Title", Tag->title()},
                                                                {"Author", Tag->artist()},
                                                                {"Copyright", Tag->copyright()},
                                                                {"Description", Tag->comment()},
                                                                {"Rating", Tag->rating()}};
    for (const auto& [name, value] : described)
        if (!value.isEmpty()) attributes.push_back({name, {value.to8Bit(true)}});
    for (const auto& [name, list] : Tag->attributeListMap()) {
        std::vector<std::string> values;
        for (const auto& a : list) values.push_back(AsfValue(a));
        attributes.push_back({name.to8Bit(true), values});
    }
    std::stable_sort(attributes.begin(), attributes.end(),
                     [](const auto& A, const auto& B) { return A.first < B.first; });
    // Merge a name that is both a described field and an extended attribute, as one list.
    Obj out;
    for (size_t i = 0; i < attributes.size();) {
        std::string list = "[";
        size_t j = i;
        for (bool first = true; j < attributes.size() && attributes[j].first == attributes[i].first; ++j)
            for (const auto& v : attributes[j].second) {
                list += (first ? "" : ",") + Quote(v);
                first = false;
            }
        out.Add(attributes[i].first, list + "]");
        i = j;
    }
    return Obj().Add("attributes", out.Json()).Json();
}

std::string AudioJson(const TagLib::AudioProperties* P) {
    if (P == nullptr) return "null";
    return Obj()
        .Num("lengthMs", P->lengthInMilliseconds())
        .Num("bitrate", P->bitrate())
        .Num("sampleRate", P->sampleRate())
        .Num("channels", P->channels())
        .Json();
}

std::string Lower(std::string S) {
    for (char& c : S) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return S;
}

// By extension, as TagLib itself decides; an unknown extension is sniffed for "fLaC"/"OggS".
std::string DetectFormat(const std::string& Path) {
    std::string ext = Lower(
        Path.substr(Path.find_last_of('.') == std::string::npos ? Path.size() : Path.find_last_of('.')));
    if (ext == ".flac") return "flac";
    if (ext == ".ogg" || ext == ".oga") return "ogg";
    if (ext == ".wma" || ext == ".asf") return "asf";
    if (ext == ".mp3" || ext == ".mp2" || ext == ".mpga") return "mpeg";
    std::ifstream in(Path, std::ios::binary);
    char magic[4] = {};
    in.read(magic, 4);
    if (in && std::string(magic, 4) == "fLaC") return "flac";
    if (in && std::string(magic, 4) == "OggS") return "ogg";
    return "mpeg";
}

}  // namespace

namespace {

// The dump of one file; false when TagLib cannot open it.
bool Dump(const std::string& Path, std::string& Json) {
    const std::string format = DetectFormat(Path);
    TagLib::List<TagLib::FLAC::Picture*> none;
    Obj out;
    out.Str("tool", "taglib").Str("format", format);
    if (format == "flac") {
        TagLib::FLAC::File f(Path.c_str());
        if (!f.isOpen()) return false;
        out.Add("valid", f.isValid() ? "true" : "false")
            .Add("id3v2", Id3v2Json(f.hasID3v2Tag() ? f.ID3v2Tag() : nullptr))
            .Add("id3v1", Id3v1Json(f.hasID3v1Tag() ? f.ID3v1Tag() : nullptr))
            .Add("ape", "null")
            .Add("xiph", XiphJson(f.hasXiphComment() ? f.xiphComment() : nullptr))
            .Add("asf", "null")
            .Add("pictures",
                 PicturesJson(f.pictureList(), f.hasXiphComment() ? f.xiphComment()->pictureList() : none))
            .Add("audio", AudioJson(f.audioProperties()));
    } else if (format == "ogg") {
        TagLib::Ogg::Vorbis::File f(Path.c_str());
        if (!f.isOpen()) return false;
        out.Add("valid", f.isValid() ? "true" : "false")
            .Add("id3v2", "null")
            .Add("id3v1", "null")
            .Add("ape", "null")
            .Add("xiph", XiphJson(f.isValid() ? f.tag() : nullptr))
            .Add("asf", "null")
            .Add("pictures", PicturesJson(f.isValid() && f.tag() ? f.tag()->pictureList() : none, none))
            .Add("audio", AudioJson(f.audioProperties()));
    } else if (format == "asf") {
        TagLib::ASF::File f(Path.c_str());
        if (!f.isOpen()) return false;
        out.Add("valid", f.isValid() ? "true" : "false")
            .Add("id3v2", "null")
            .Add("id3v1", "null")
            .Add("ape", "null")
            .Add("xiph", "null")
            .Add("asf", AsfJson(f.isValid() ? f.tag() : nullptr))
            .Add("pictures", "[]")
            .Add("audio", AudioJson(f.audioProperties()));
    } else {
        TagLib::MPEG::File f(Path.c_str());
        if (!f.isOpen()) return false;
        out.Add("valid", f.isValid() ? "true" : "false")
            .Add("id3v2", Id3v2Json(f.hasID3v2Tag() ? f.ID3v2Tag() : nullptr))
            .Add("id3v1", Id3v1Json(f.hasID3v1Tag() ? f.ID3v1Tag() : nullptr))
            .Add("ape", ApeJson(f.hasAPETag() ? f.APETag() : nullptr))
            .Add("xiph", "null")
            .Add("asf", "null")
            .Add("pictures", "[]")
            .Add("audio", AudioJson(f.audioProperties()));
    }
    Json = out.Json();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: taglib_dump FILE...\n";
        return 2;
    }
    StderrListener listener;
    TagLib::setDebugListener(&listener);
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::string json;
        if (Dump(argv[i], json)) {
            std::cout << json << "\n";
        } else if (argc == 2) {
            status = 1;
        } else {
            std::cout
                << Obj().Str("tool", "taglib").Str("path", std::string(argv[i])).Add("open", "false").Json()
                << "\n";
            status = 1;
        }
    }
    TagLib::setDebugListener(nullptr);
    return status;
}
