// SPDX-License-Identifier: MIT
#include "id3v2/ID3v2KnownFrames.h"

#include <array>

#include "id3v2/ID3v2Types.h"

namespace covrilo {

namespace {

// Order matters: lookups take the first matching row.
constexpr std::array<TKnownFrame, 92> kKnownFrames = {{
    {"CRA", "AENC", svID3v22 | svID3v23 | svID3v24, "Encryption", "Audio encryption"},
    {"PIC", "APIC", svID3v22 | svID3v23 | svID3v24, "Picture", "Attached picture"},
    {"COM", "COMM", svID3v22 | svID3v23 | svID3v24, "Comment", "Comments"},
    {"", "COMR", svID3v23 | svID3v24, "Commercial", "Commercial frame"},
    {"CRM", "ENCR", svID3v22 | svID3v23 | svID3v24, "Encryption method", "Encryption method registration"},
    {"EQU", "EQUA", svID3v22 | svID3v23, "Equalization", "Equalization"},
    {"ETC", "ETCO", svID3v22 | svID3v23 | svID3v24, "Timing", "Event timing codes"},
    {"GEO", "GEOB", svID3v22 | svID3v23 | svID3v24, "Object", "General encapsulated object"},
    {"", "GRID", svID3v23 | svID3v24, "Group ID", "Group identification registration"},
    {"IPL", "IPLS", svID3v22 | svID3v23, "Members", "Involved people list"},
    {"LNK", "LINK", svID3v22 | svID3v23 | svID3v24, "Linked Info", "Linked information"},
    {"MCI", "MCDI", svID3v22 | svID3v23 | svID3v24, "CD ID", "Music CD identifier"},
    {"MLL", "MLLT", svID3v22 | svID3v23 | svID3v24, "MPEG Location", "MPEG location lookup table"},
    {"", "OWNE", svID3v23 | svID3v24, "Owner", "Ownership frame"},
    {"", "PRIV", svID3v23 | svID3v24, "Private", "Private frame"},
    {"CNT", "PCNT", svID3v22 | svID3v23 | svID3v24, "Play Counter", "Play counter"},
    {"POP", "POPM", svID3v22 | svID3v23 | svID3v24, "Popularity", "Popularimeter"},
    {"", "POSS", svID3v23 | svID3v24, "Position Sync", "Position synchronisation frame"},
    {"BUF", "RBUF", svID3v22 | svID3v23 | svID3v24, "Buffer", "Recommended buffer size"},
    {"RVA", "RVAD", svID3v22 | svID3v23, "Volume Adjust", "Relative volume adjustment"},
    {"REV", "RVRB", svID3v22 | svID3v23 | svID3v24, "Reverb", "Reverb"},
    {"SLT", "SYLT", svID3v22 | svID3v23 | svID3v24, "Sync Lyrics", "Synchronized lyric/text"},
    {"STC", "SYTC", svID3v22 | svID3v23 | svID3v24, "Sync Tempo", "Synchronized tempo codes"},
    {"TAL", "TALB", svID3v22 | svID3v23 | svID3v24, "Album", "Album/Movie/Show title"},
    {"TBP", "TBPM", svID3v22 | svID3v23 | svID3v24, "BPM", "BPM (beats per minute)"},
    {"TCM", "TCOM", svID3v22 | svID3v23 | svID3v24, "Composer", "Composer"},
    {"TCO", "TCON", svID3v22 | svID3v23 | svID3v24, "Genre", "Content type"},
    {"TCR", "TCOP", svID3v22 | svID3v23 | svID3v24, "Copyright", "Copyright message"},
    {"TDA", "TDAT", svID3v22 | svID3v23, "Date", "Date"},
    {"TDY", "TDLY", svID3v22 | svID3v23 | svID3v24, "Playlist delay", "Playlist delay"},
    {"TEN", "TENC", svID3v22 | svID3v23 | svID3v24, "Encoded by", "Encoded by"},
    {"TXT", "TEXT", svID3v22 | svID3v23 | svID3v24, "Lyrics", "Lyricist/Text writer"},
    {"TFT", "TFLT", svID3v22 | svID3v23 | svID3v24, "Filetype", "File type"},
    {"TIM", "TIME", svID3v22 | svID3v23, "Time", "Time"},
    {"TT1", "TIT1", svID3v22 | svID3v23 | svID3v24, "GroupTitle", "Content group description"},
    {"TT2", "TIT2", svID3v22 | svID3v23 | svID3v24, "Title", "Title/songname/content description"},
    {"TT3", "TIT3", svID3v22 | svID3v23 | svID3v24, "Subtitle", "Subtitle/Description refinement"},
    {"TKE", "TKEY", svID3v22 | svID3v23 | svID3v24, "Key", "Initial key"},
    {"TLA", "TLAN", svID3v22 | svID3v23 | svID3v24, "Language", "Language(s)"},
    {"TLE", "TLEN", svID3v22 | svID3v23 | svID3v24, "Length", "Length"},
    {"TMT", "TMED", svID3v22 | svID3v23 | svID3v24, "Media type", "Media type"},
    {"TOT", "TOAL", svID3v22 | svID3v23 | svID3v24, "Original Album", "Original album/movie/show title"},
    {"TOF", "TOFN", svID3v22 | svID3v23 | svID3v24, "Original filename", "Original filename"},
    {"TOL", "TOLY", svID3v22 | svID3v23 | svID3v24, "Original lyrics by",
     "Original lyricist(s)/text writer(s)"},
    {"TOA", "TOPE", svID3v22 | svID3v23 | svID3v24, "Original artist", "Original artist(s)/performer(s)"},
    {"TOR", "TORY", svID3v22 | svID3v23, "Original release year", "Original release year"},
    {"", "TOWN", svID3v23 | svID3v24, "Owner", "File owner/licensee"},
    {"TP1", "TPE1", svID3v22 | svID3v23 | svID3v24, "Artist", "Lead performer(s)/Soloist(s)"},
    {"TP2", "TPE2", svID3v22 | svID3v23 | svID3v24, "Band", "Band/orchestra/accompaniment"},
    {"TP3", "TPE3", svID3v22 | svID3v23 | svID3v24, "Performer", "Conductor/performer refinement"},
    {"TP4", "TPE4", svID3v22 | svID3v23 | svID3v24, "Remixed by",
     "Interpreted, remixed, or otherwise modified by"},
    {"TPA", "TPOS", svID3v22 | svID3v23 | svID3v24, "Part of", "Part of a set"},
    {"TPB", "TPUB", svID3v22 | svID3v23 | svID3v24, "Publisher", "Publisher"},
    {"TRK", "TRCK", svID3v22 | svID3v23 | svID3v24, "Track No", "Track number/Position in set"},
    {"TRD", "TRDA", svID3v22 | svID3v23, "Recorded in ", "Recording dates"},
    {"", "TRSN", svID3v23 | svID3v24, "Radio Station", "Internet radio station name"},
    {"", "TRSO", svID3v23 | svID3v24, "Radio Station Owner", "Internet radio station owner"},
    {"TSI", "TSIZ", svID3v22 | svID3v23, "Size", "Size"},
    {"TRC", "TSRC", svID3v22 | svID3v23 | svID3v24, "ISRC", "ISRC (international standard recording code)"},
    {"TSS", "TSSE", svID3v22 | svID3v23 | svID3v24, "Encoder HW/SW",
     "Software/Hardware and settings used for encoding"},
    {"TYE", "TYER", svID3v22 | svID3v23, "Year", "Year"},
    {"TXX", "TXXX", svID3v22 | svID3v23 | svID3v24, "Custom text", "User defined text information frame"},
    {"UFI", "UFID", svID3v22 | svID3v23 | svID3v24, "File ID", "Unique file identifier"},
    {"", "USER", svID3v23 | svID3v24, "Agreement", "Terms of use"},
    {"ULT", "USLT", svID3v22 | svID3v23 | svID3v24, "Unsync Lyrics",
     "Unsychronized lyric/text transcription"},
    {"WCM", "WCOM", svID3v22 | svID3v23 | svID3v24, "Web commercial", "Commercial information"},
    {"WCP", "WCOP", svID3v22 | svID3v23 | svID3v24, "Web copyright", "Copyright/Legal information"},
    {"WAF", "WOAF", svID3v22 | svID3v23 | svID3v24, "File URL", "Official audio file webpage"},
    {"WAR", "WOAR", svID3v22 | svID3v23 | svID3v24, "Artist webpage", "Official artist/performer webpage"},
    {"WAS", "WOAS", svID3v22 | svID3v23 | svID3v24, "Source webpage", "Official audio source webpage"},
    {"", "WORS", svID3v23 | svID3v24, "Internet radio URL", "Official internet radio station homepage"},
    {"", "WPAY", svID3v23 | svID3v24, "Payment", "Payment"},
    {"WPB", "WPUB", svID3v22 | svID3v23 | svID3v24, "Publishers URL", "Publishers official webpage"},
    {"WXX", "WXXX", svID3v22 | svID3v23 | svID3v24, "User URL", "User defined URL link frame"},
    {"", "ASPI", svID3v24, "Audio seek points", "Audio seek point index"},
    {"", "EQU2", svID3v24, "Equalisation", "Equalisation"},
    {"", "RVA2", svID3v24, "Volume Adjust", "Relative volume adjustment"},
    {"", "SEEK", svID3v24, "Seek data", "Seek frame"},
    {"", "SIGN", svID3v24, "Signature", "Signature frame"},
    {"", "TDEN", svID3v24, "Encoding time", "Encoding time"},
    {"", "TDOR", svID3v24, "Orignal release time", "Original release time"},
    {"", "TDRC", svID3v24, "Recording time", "Recording time"},
    {"", "TDRL", svID3v24, "Release time", "Release time"},
    {"", "TDTG", svID3v24, "Tagging time", "Tagging time"},
    {"", "TIPL", svID3v24, "Members", "Involved people list"},
    {"", "TMCL", svID3v24, "Credits", "Musician credits list"},
    {"", "TMOO", svID3v24, "Mood", "Mood"},
    {"", "TPRO", svID3v24, "Notice", "Produced notice"},
    {"", "TSOA", svID3v24, "Album sorting", "Album sort order"},
    {"", "TSOP", svID3v24, "Performer sorting", "Performer sort order"},
    {"", "TSOT", svID3v24, "Title sorting", "Title sort order"},
    {"", "TSST", svID3v24, "Subtitle", "Set subtitle"},
}};

bool IsExperimentalLetter(char C) { return C == 'X' || C == 'Y' || C == 'Z'; }

// 2.2 identifiers that iTunes and others write although the 2.2 standard has none of them,
// with the 2.3/2.4 identifiers that the peers read them as.
struct TExtraID22 {
    const char* ID22;
    const char* ID;
};
constexpr TExtraID22 kExtraID22[] = {
    {"TCP", "TCMP"}, {"TST", "TSOT"}, {"TSA", "TSOA"}, {"TSP", "TSOP"}, {"TS2", "TSO2"},
    {"TSC", "TSOC"}, {"GP1", "GRP1"}, {"MVN", "MVNM"}, {"MVI", "MVIN"}, {"PCS", "PCST"},
    {"TDS", "TDES"}, {"TID", "TGID"}, {"WFD", "WFED"}, {"TKW", "TKWD"}, {"TCT", "TCAT"},
};

}  // namespace

std::span<const TKnownFrame> KnownFrames() { return kKnownFrames; }

const TKnownFrame* FindKnownFrame(std::string_view ID) {
    // An empty or odd-length ID must not match the rows whose 2.2 identifier is empty.
    if (ID.size() != 3 && ID.size() != 4) return nullptr;
    for (const TKnownFrame& row : kKnownFrames) {
        if (ID == std::string_view(row.ID) || ID == std::string_view(row.ID22)) return &row;
    }
    return nullptr;
}

bool ConvertID22To23(std::string_view ID22, std::string& ID) {
    if (ID22.size() != 3) return false;
    for (const TKnownFrame& row : kKnownFrames) {
        if (ID22 == std::string_view(row.ID22)) {
            ID = row.ID;
            return true;
        }
    }
    for (const TExtraID22& extra : kExtraID22) {
        if (ID22 == extra.ID22) {
            ID = extra.ID;
            return true;
        }
    }
    if (IsExperimentalLetter(ID22[0])) {
        ID = std::string(1, ID22[0]) + std::string(ID22);
        return true;
    }
    return false;
}

bool ConvertID23To22(std::string_view ID, std::string& ID22) {
    if (ID.size() != 4) return false;
    for (const TExtraID22& extra : kExtraID22) {
        if (ID == extra.ID) {
            ID22 = extra.ID22;
            return true;
        }
    }
    for (const TKnownFrame& row : kKnownFrames) {
        if (ID == std::string_view(row.ID)) {
            if (row.ID22[0] == '\0') return false;
            ID22 = row.ID22;
            return true;
        }
    }
    if (ID[0] == ID[1] && IsExperimentalLetter(ID[0])) {
        ID22 = std::string(ID.substr(1));
        return true;
    }
    return false;
}

}  // namespace covrilo
