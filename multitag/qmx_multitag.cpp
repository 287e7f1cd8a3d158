// SPDX-License-Identifier: MIT
#include "multitag/qmx_multitag.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <map>
#include <stdexcept>
#include <tuple>

#include "formats/APETag.h"
#include "formats/DIMime.h"
#include "formats/FLACfile.h"
#include "formats/ID3v2.h"
#include "formats/MpegAudio.h"
#include "formats/WMAfile.h"
#include "formats/qmx_tag_oggvorbis.h"
#include "id3v1/ID3v1.h"
#include "id3v1/ID3v1Types.h"
#include "id3v2/ID3v2APICTypes.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/ID3v2Dates.h"
#include "id3v2/frames/TAPICFrame.h"
#include "id3v2/frames/TCOMMFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TWXXXFrame.h"
#include "io/AsciiText.h"
#include "io/EnhancedStreams.h"
#include "io/FileSystems.h"
#include "io/FileTransaction.h"
#include "io/SaveBatch.h"
#include "io/TextConversion.h"
#include "io/UnicodeFileUtils.h"

namespace covrilo {

namespace {

std::string ToAnsi(const std::u16string& Text) { return WideToAnsi(Text); }
std::u16string ToWide(const std::string& Text) { return AnsiToWide(Text); }

std::string ReplaceAll(std::string Text, const std::string& From, const std::string& To) {
    size_t pos = 0;
    while ((pos = Text.find(From, pos)) != std::string::npos) {
        Text.replace(pos, From.size(), To);
        pos += To.size();
    }
    return Text;
}

constexpr const char* kNotPlanned = "a save of these tags cannot be worked out without writing it";

// Frames WriteID3v2 rewrites from the record; every other frame is kept.
constexpr std::array<const char*, 10> kRewrittenFrames = {"TPE1", "TIT2", "TALB", "TRCK", "TYER",
                                                          "TDRC", "TCON", "COMM", "WXXX", "TENC"};

struct TID3v2FormatRow {
    uint16_t Version;
    TTextEncoding Encoding;
    const char* YearFrame;
};
constexpr std::array<TID3v2FormatRow, 3> kID3v2Formats = {{
    {ID3V2_VERSION_2_3, teISO8859_1, "TYER"},
    {ID3V2_VERSION_2_3, teUTF16, "TYER"},
    {ID3V2_VERSION_2_4, teUTF8, "TDRC"},
}};

// Only comment and user link frames without a description hold the track's comment and URL.
// Frames with one are other programs' data (iTunNORM, iTunSMPB with the gapless figures, ...):
// the reader does not take them for the record and the writer keeps them.
bool IsRecordFrame(const TBaseFrame& Frame) {
    if (const auto* comment = dynamic_cast<const TCOMMFrame*>(&Frame)) return comment->Description.empty();
    if (const auto* url = dynamic_cast<const TWXXXFrame*>(&Frame)) return url->Description.empty();
    return true;
}

// A text that ISO-8859-1 cannot hold is written in UTF-16 instead: adding a cover must not
// turn an artist's name into question marks. Texts that fit keep the chosen encoding.
bool FitsLatin1(std::u16string_view Text) {
    return std::all_of(Text.begin(), Text.end(), [](char16_t C) { return C <= 0xFF; });
}
// Likewise UTF-8 cannot hold an unpaired surrogate, which UTF-16 keeps.
TTextEncoding EncodingFor(TTextEncoding Chosen, std::u16string_view Text,
                          const std::vector<std::u16string>& MoreTexts = {}) {
    if (Chosen != teISO8859_1 && Chosen != teUTF8) return Chosen;
    auto fits = [Chosen](std::u16string_view Value) {
        return Chosen == teUTF8 ? FitsUtf8(Value) : FitsLatin1(Value);
    };
    const bool all = fits(Text) && std::all_of(MoreTexts.begin(), MoreTexts.end(), fits);
    return all ? Chosen : teUTF16;
}

// The text frames of the tag's own list (not a chapter's) with one of the identifiers, in list
// order. The reader took its value from the last one.
std::vector<TTxxxFrame*> TextFrames(TID3v2Class& Tag, std::initializer_list<std::string_view> IDs) {
    std::vector<TTxxxFrame*> found;
    for (int i = 0; i < Tag.FrameCount(); ++i)
        if (auto* text = dynamic_cast<TTxxxFrame*>(Tag.Frames(i))) {
            const std::string id = text->FrameID();
            if (std::find(IDs.begin(), IDs.end(), id) != IDs.end()) found.push_back(text);
        }
    return found;
}

// The comment or link frame the reader took the record's value from: the last one without
// a description.
template <typename TFrame>
TFrame* RecordFrame(TID3v2Class& Tag, std::string_view ID) {
    TFrame* found = nullptr;
    for (int i = 0; i < Tag.FrameCount(); ++i)
        if (auto* frame = dynamic_cast<TFrame*>(Tag.Frames(i));
            frame && frame->FrameID() == ID && IsRecordFrame(*frame))
            found = frame;
    return found;
}

// The values a rewritten text frame carries: the record's first; then, while it reads as the
// frame it was taken from, that frame's further values; then every value of the other frames
// of the identifier (a file's two artists in two frames), each once.
std::vector<std::u16string> MergedValues(std::u16string First, const std::vector<TTxxxFrame*>& Frames,
                                         bool Unchanged) {
    std::vector<std::u16string> values{std::move(First)};
    auto add = [&values](const std::u16string& Value) {
        if (std::find(values.begin(), values.end(), Value) == values.end()) values.push_back(Value);
    };
    if (!Frames.empty() && Unchanged)
        for (const auto& more : Frames.back()->MoreTexts) add(more);
    for (size_t i = 0; i + 1 < Frames.size(); ++i) {
        add(Frames[i]->Text);
        for (const auto& more : Frames[i]->MoreTexts) add(more);
    }
    return values;
}

// Whether every genre reference at the start of a "TCON" text ("(17)", "(17)Rock") names
// Genre: the text then says nothing that Genre alone does not.
bool ReferencesSay(const std::u16string& Text, const std::u16string& Genre) {
    std::u16string_view rest = Text;
    while (!rest.empty() && rest.front() == u'(') {
        const size_t close = rest.find(u')');
        if (close == std::u16string_view::npos) return false;
        if (Tqmx_multitag::GenreFromTCON(std::u16string(rest.substr(0, close + 1))) != Genre) return false;
        rest.remove_prefix(close + 1);
    }
    return rest.empty() || rest == Genre;
}

// The full date the record's year was read from while the year stands as read: the record
// holds the year frame's text alone, which in 2.3 leaves the day and the time in TDAT and TIME.
std::u16string FullDate(TID3v2Class& Tag, const TTxxxFrame& Source) {
    if (Source.FrameID() != "TYER" || !IsYearText(Source.Text)) return Source.Text;
    TID3Timestamp time{std::stoi(WideToAnsi(Source.Text))};
    const auto dates = TextFrames(Tag, {"TDAT"});
    const auto date = dates.empty() ? std::nullopt : ParseDDMM(dates.back()->Text);
    if (date) {
        std::tie(time.Day, time.Month) = *date;
        const auto times = TextFrames(Tag, {"TIME"});
        if (const auto clock = times.empty() ? std::nullopt : ParseHHMM(times.back()->Text))
            std::tie(time.Hour, time.Minute) = *clock;
    }
    return FormatTimestamp(time);
}

// Whether a "TRCK" text reads as the track number (as the reader parses it).
bool IsTrackText(const std::u16string& Text, uint8_t TrackNo) {
    std::string number = ToAnsi(Text);
    number = number.substr(0, number.find('/'));
    // A total without a number ("/12") says no track: the record's 0 is written as "0".
    if (number.find_first_not_of(' ') == std::string::npos) return false;
    try {
        return TrackNumberFromText(number) == TrackNo;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

Tqmx_multitag::Tqmx_multitag()
    : id3v1_(std::make_unique<TID3v1>()),
      id3v2_(std::make_unique<TID3v2>()),
      ape_(std::make_unique<TAPETag>()),
      ogg_(std::make_unique<TOggVorbis>()),
      flac_(std::make_unique<TFLACfile>()),
      wma_(std::make_unique<TWMAfile>()) {}

Tqmx_multitag::~Tqmx_multitag() = default;

// --- dispatch --------------------------------------------------------------

Tqmx_multitag::TFamily Tqmx_multitag::FamilyOf() const {
    // The extension of the file-name component, dot included, upper-cased.
    std::string name = FileName.filename().string();
    size_t dot = name.rfind('.');
    const std::string ext = UpperAscii(dot == std::string::npos ? std::string() : name.substr(dot));
    if (ext == ".WAV") return TFamily::Wav;
    if (ext == ".OGG") return TFamily::Ogg;
    if (ext == ".FLAC") return TFamily::Flac;
    if (ext == ".WMA") return TFamily::Wma;
    if (ext == ".MP1" || ext == ".MP2" || ext == ".MP3") return TFamily::Mpeg;
    if (ext == ".AAC") return TFamily::Aac;
    if (ext == ".APE") return TFamily::Ape;
    if (ext == ".MPC") return TFamily::Mpc;
    if (ext == ".OFR" || ext == ".OFS") return TFamily::OptimFrog;
    if (ext == ".TTA") return TFamily::Tta;
    if (ext == ".WV") return TFamily::WavPack;
    return TFamily::None;
}

TTagSelection Tqmx_multitag::ReadSelection(TFamily Family) const {
    switch (Family) {
        case TFamily::Mpeg:
            return MpegReadTags;
        case TFamily::Aac:
            return AacReadTags;
        case TFamily::Ape:
            return ApeReadTags;
        case TFamily::Mpc:
            return MpcReadTags;
        case TFamily::OptimFrog:
            return OptimFrogReadTags;
        case TFamily::Tta:
            return TtaReadTags;
        case TFamily::WavPack:
            return WavPackReadTags;
        default:
            return tsNone;
    }
}

TTagSelection Tqmx_multitag::WriteSelection(TFamily Family) const {
    switch (Family) {
        case TFamily::Mpeg:
            return MpegWriteTags;
        case TFamily::Aac:
            return AacWriteTags;
        case TFamily::Ape:
            return ApeWriteTags;
        case TFamily::Mpc:
            return MpcWriteTags;
        case TFamily::OptimFrog:
            return OptimFrogWriteTags;
        case TFamily::Tta:
            return TtaWriteTags;
        case TFamily::WavPack:
            return WavPackWriteTags;
        default:
            return tsNone;
    }
}

namespace {

// Why a file cannot be opened at all: "not found", "permission denied" (a folder on the way
// is closed), "is a folder".
std::string MissingReason(const std::filesystem::path& Name) {
    struct stat st {};
    if (::stat(Name.c_str(), &st) != 0) return FileErrorReason(errno);
    return S_ISDIR(st.st_mode) ? FileErrorReason(EISDIR) : "not a regular file";
}

// Whether Name still names the file that was read.
bool StillNames(const std::filesystem::path& Name, const TFileIdentity& Identity) {
    struct stat st {};
    return ::stat(Name.c_str(), &st) == 0 && static_cast<uint64_t>(st.st_dev) == Identity.Device &&
           static_cast<uint64_t>(st.st_ino) == Identity.Inode;
}

// Raises EFileRefused when an interrupted in-place save left its journal beside Name.
void RefuseInterruptedSave(const std::filesystem::path& Name) {
    const std::filesystem::path target = ResolveRewriteTarget(Name);
    const std::string journal = JournalNameFor(target.filename().string());
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(target.parent_path() / journal, ec))) return;
    const std::string reason =
        "an interrupted save left its journal " + journal +
        "; the next save restores the file from it first, so what it would do cannot be told";
    throw EFileRefused("Cannot plan a save of " + Name.string() + ": " + reason, reason);
}

// What a planned save can tell of its commit without making it: the folder must take a
// temporary file or a journal, and a rewrite would separate the names of a hard-linked
// file. (Whether another program holds the file open for writing, and whether a rewrite could
// keep another user's ownership, only the commit finds out.)
void RequireCommitPossible(const std::filesystem::path& Name, bool Rewrite) {
    const std::filesystem::path target = ResolveRewriteTarget(Name);
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        const std::string reason = FileErrorReason(errno);
        throw EFCreateError("Could not create " + std::string(Rewrite ? "a temporary file" : "a journal") +
                                " in " + folder.string() + ": " + reason + " (the file is unchanged)",
                            reason);
    }
    struct stat st {};
    if (Rewrite && ::stat(target.c_str(), &st) == 0 && st.st_nlink > 1) {
        const std::string reason =
            "it has " + std::to_string(st.st_nlink) +
            " hard links and its tag does not fit in place; a rewrite would separate them";
        throw EFileRefused("Cannot save file " + Name.string() + ": " + reason, reason);
    }
}

// What a frame holds, in a line: "APIC: Cover (front), image/jpeg, 24186 bytes".
std::string DescribeFrame(const TBaseFrame& Frame) {
    const std::string id = Frame.FrameID();
    auto quoted = [](const std::u16string& Value) { return "\"" + WideToUtf8(Value) + "\""; };
    auto texts = [&](const std::u16string& First, const std::vector<std::u16string>& More) {
        std::string text = quoted(First);
        for (const auto& value : More) text += " / " + quoted(value);
        return text;
    };
    if (const auto* apic = dynamic_cast<const TAPICFrame*>(&Frame)) {
        std::string text = id + ": " + PictureTypeName(apic->PictureType);
        if (apic->Linked) return text + ", link " + AnsiToUtf8(apic->LinkURL);
        text += ", " + AnsiToUtf8(apic->MIMEType) + ", " + std::to_string(apic->PictureData.Data().size()) +
                " bytes";
        if (!apic->Description.empty()) text += ", \"" + WideToUtf8(apic->Description) + "\"";
        return text;
    }
    if (const auto* comment = dynamic_cast<const TCOMMFrame*>(&Frame))
        return id + ": " +
               (comment->Description.empty() ? "" : "[" + WideToUtf8(comment->Description) + "] ") +
               texts(comment->Text, comment->MoreTexts);
    if (const auto* url = dynamic_cast<const TWXXXFrame*>(&Frame))
        return id + ": " + (url->Description.empty() ? "" : "[" + WideToUtf8(url->Description) + "] ") +
               "\"" + AnsiToUtf8(url->URL) + "\"";
    if (const auto* text = dynamic_cast<const TTxxxFrame*>(&Frame))
        return id + ": " + texts(text->Text, text->MoreTexts);
    return id + ": " + std::to_string(Frame.DataSize) + " bytes";
}

// The frames read from the file, as DescribeFrame has them, before a save prepares and
// renders them (which converts some between versions).
std::vector<std::pair<const TBaseFrame*, std::string>> FramesAsRead(const TID3v2Class& Tag) {
    std::vector<std::pair<const TBaseFrame*, std::string>> frames;
    for (const auto& frame : Tag.FrameList)
        if (frame->Stored && dynamic_cast<const TID3v1Tag*>(frame.get()) == nullptr)
            frames.emplace_back(frame.get(), DescribeFrame(*frame));
    return frames;
}

// The frames the save dropped and those it added: what was read against what the frame list
// holds after the save (or its plan). A frame converted changes its line; one dropped and
// added again as it was (a text the record rewrites unchanged) is in neither list. The list
// never holds a frame freed after the read: the save frees the dropped frames last.
void DescribeChanges(const TID3v2Class& Tag,
                     const std::vector<std::pair<const TBaseFrame*, std::string>>& Read,
                     TSaveReport& Report) {
    std::vector<std::string> removed, added;
    std::vector<bool> seen(Read.size(), false);
    for (const auto& frame : Tag.FrameList) {
        if (dynamic_cast<const TID3v1Tag*>(frame.get()) != nullptr) continue;
        const bool written = !frame->Deleted && !Tag.RemoveTag;
        const auto it =
            std::find_if(Read.begin(), Read.end(), [&](const auto& F) { return F.first == frame.get(); });
        if (it == Read.end()) {
            if (written) added.push_back(DescribeFrame(*frame));
            continue;
        }
        seen[static_cast<size_t>(it - Read.begin())] = true;
        if (!written) {
            removed.push_back(it->second);
        } else if (const std::string now = DescribeFrame(*frame); now != it->second) {
            removed.push_back(it->second);
            added.push_back(now);
        }
    }
    for (size_t i = 0; i < Read.size(); ++i)
        if (!seen[i]) removed.push_back(Read[i].second);
    for (auto it = added.begin(); it != added.end();) {
        const auto same = std::find(removed.begin(), removed.end(), *it);
        if (same == removed.end()) {
            ++it;
            continue;
        }
        removed.erase(same);
        it = added.erase(it);
    }
    Report.Removed = std::move(removed);
    Report.Added = std::move(added);
}

int64_t TagBytes(const TID3v2Class& Tag) {
    if (!Tag.TagExists) return 0;
    return int64_t{Tag.TagSize} + 10 + ((Tag.TagFlags & tfFooter) ? 10 : 0);
}

}  // namespace

template <typename TMake>
auto Tqmx_multitag::WhenUnlocked(TMake Make) {
    try {
        return Make();
    } catch (const EFOpenError&) {
        // A save still pending in the batch holds its file's lock (the file is listed twice,
        // or under two names): it is finished, and the file opened again.
        if (batch_ == nullptr || batch_->PendingCount() == 0) throw;
        batch_->Flush();
        return Make();
    }
}

bool Tqmx_multitag::Open(const std::filesystem::path& Name) {
    track_ = std::make_unique<Ttrack>();
    loadedID3v2_.reset();
    pendingSave_ = 0;  // a file opened and not saved hands nothing to the batch
    Pictures.clear();
    FileName = Name;
    opened_ = false;
    openIdentity_.reset();
    lastError_.clear();
    if (!UnicodeFileExists(FileName)) {
        lastError_ = MissingReason(FileName);
        return false;
    }
    try {
        // A file that an interrupted in-place save left half written is restored first; a
        // save that is only planned must not do that, and cannot tell what it would find.
        if (PlanOnly)
            RefuseInterruptedSave(FileName);
        else
            RecoverInterruptedSave(FileName);
        // The readers run while this shared lock keeps cooperating writers out; the identity
        // before and after tells whether any other program changed the file meanwhile.
        const auto heldStream = WhenUnlocked(
            [&] { return std::make_unique<TUnicodeFileStream>(FileName, fmOpenRead | fmShareDenyWrite); });
        TUnicodeFileStream& held = *heldStream;
        const TFileIdentity identity = held.Identity();
        // Every reader reads through this one descriptor: the file is opened once.
        struct TReadThrough {
            int& Handle;
            ~TReadThrough() { Handle = -1; }
        } through{readHandle_};
        readHandle_ = held.Handle();
        Ttrack record;
        switch (TFamily family = FamilyOf()) {
            case TFamily::Ogg:
                record = ReadOggVorbis();
                break;
            case TFamily::Flac:
                record = ReadFLAC();
                break;
            case TFamily::Wma:
                record = ReadWMA();
                break;
            case TFamily::Wav:
            case TFamily::None:
                break;
            default:
                record = ReadBySelection(ReadSelection(family));
                break;
        }
        if (!(held.Identity() == identity) || !StillNames(FileName, identity))
            throw EFReadError("Cannot read file " + FileName.string() + ": it changed while it was read",
                              "it changed while it was read");
        *track_ = std::move(record);
        openIdentity_ = identity;
    } catch (const std::exception& e) {
        *track_ = Ttrack();
        loadedID3v2_.reset();
        lastError_ = ErrorReason(e);
        return false;
    }
    opened_ = true;
    return true;
}

Ttrack Tqmx_multitag::ReadBySelection(TTagSelection Selection) {
    switch (Selection) {
        case tsID3v1:
            return ReadID3v1();
        case tsID3v2:
            return ReadID3v2();
        case tsAPE:
            return ReadAPE();
        case tsID3v1ID3v2: {
            Ttrack v2 = ReadID3v2();
            return MergeTracks(ReadID3v1(), std::move(v2));
        }
        case tsID3v1APE: {
            Ttrack ape = ReadAPE();
            return MergeTracks(ReadID3v1(), std::move(ape));
        }
        case tsID3v2APE: {
            Ttrack ape = ReadAPE();
            return MergeTracks(ReadID3v2(), std::move(ape));
        }
        case tsAll: {
            Ttrack ape = ReadAPE();
            Ttrack upper = MergeTracks(ReadID3v2(), std::move(ape));
            return MergeTracks(ReadID3v1(), std::move(upper));
        }
        default:
            return Ttrack();
    }
}

const Ttrack& Tqmx_multitag::Track() const {
    if (!track_) throw std::logic_error("Tqmx_multitag::Track() called without an open file");
    return *track_;
}

bool Tqmx_multitag::Save() {
    // A file whose tags could not be read is never written: its text frames would be
    // replaced by the empty values of the record.
    if (!track_) return false;
    if (!opened_) {
        if (lastError_.empty()) lastError_ = "its tags could not be read";
        return false;
    }
    lastError_.clear();
    report_ = TSaveReport();
    wroteThisSave_ = false;
    pendingTail_.reset();
    // However the save ends, its transaction (and the file's lock) ends with it, or goes on
    // in the batch.
    struct TEnd {
        Tqmx_multitag& Self;
        ~TEnd() {
            Self.transaction_.reset();
            Self.planSource_.reset();
            Self.pendingTail_.reset();
            Self.deferSave_ = false;
        }
    } end{*this};
    pendingSave_ = 0;
    try {
        switch (TFamily family = FamilyOf()) {
            case TFamily::Ogg:
            case TFamily::Flac:
                if (!WriteVorbisComments) {
                    lastError_ = "not a file type that is written";
                    return false;
                }
                if (PlanOnly) {
                    lastError_ = kNotPlanned;
                    return false;
                }
                return family == TFamily::Ogg ? WriteOggVorbis(*track_) : WriteFLAC(*track_);
            case TFamily::Wav:
            case TFamily::Wma:
            case TFamily::None:
                lastError_ = "not a file type that is written";
                return false;
            default: {
                // One writer, one commit: it may be finished by the batch.
                deferSave_ = WriteSelection(family) == tsID3v1ID3v2;
                const bool saved = WriteBySelection(WriteSelection(family));
                // The record now describes the file as saved; a second Save builds on that.
                if (PlanOnly)
                    ;  // nothing was written: the file is still the one Open read
                else if (saved && transaction_ && transaction_->Committed())
                    openIdentity_ = transaction_->Identity();
                else if (saved)
                    openIdentity_.reset();
                if (saved) HandOver();
                return saved;
            }
        }
    } catch (const std::exception& e) {
        if (RefusedWith(e)) return false;
        throw;
    }
}

bool Tqmx_multitag::RefusedWith(const std::exception& Error) {
    // Refused before the file was touched: a failure of this file, not of the run. A read
    // that fails while the save reads what it builds on (the tag, the Lyrics3 block) is
    // one too: nothing is written from it.
    if (dynamic_cast<const EID3LibSaveRefused*>(&Error) != nullptr) {
        lastError_ = Error.what();
        return true;
    }
    if (dynamic_cast<const EFileRefused*>(&Error) != nullptr ||
        dynamic_cast<const EFReadError*>(&Error) != nullptr) {
        lastError_ = ErrorReason(Error);
        return true;
    }
    return false;
}

std::unique_ptr<TID3v2Class> Tqmx_multitag::TagFor(TFileTransaction& Transaction) {
    // The tag Open read is the file's under the lock too while the file is exactly as it was
    // read (same inode, size and times): it is not read and parsed again.
    if (loadedID3v2_ && loadedID3v2_->LoadedIdentity &&
        *loadedID3v2_->LoadedIdentity == Transaction.Identity()) {
        std::unique_ptr<TID3v2Class> tag = std::move(loadedID3v2_);
        tag->Attach(Transaction);
        return tag;
    }
    loadedID3v2_.reset();
    return std::make_unique<TID3v2Class>(FileName, Transaction);
}

void Tqmx_multitag::HandOver() {
    if (batch_ == nullptr || !transaction_ || !transaction_->Pending()) return;
    pendingSave_ = batch_->Adopt(std::move(transaction_));
    // What the file will be once the batch has finished it is not known yet.
    openIdentity_.reset();
}

TFileTransaction& Tqmx_multitag::Transaction() {
    if (!transaction_ || transaction_->Committed()) {
        transaction_.reset();
        transaction_ = WhenUnlocked([&] { return std::make_unique<TFileTransaction>(FileName, batch_); });
        if (deferSave_) transaction_->DeferCommit();
        // The first writer builds on what Open read; a later one on what the writer before
        // it left.
        if (!wroteThisSave_ && openIdentity_) transaction_->Expect(*openIdentity_);
    }
    return *transaction_;
}

TStream& Tqmx_multitag::SaveSource() {
    if (!PlanOnly) return Transaction().Stream();
    if (!planSource_) {
        planSource_ = std::make_unique<TUnicodeFileStream>(FileName, fmOpenRead | fmShareDenyWrite);
        // As a transaction does: the plan builds on the file Open read, which may be written.
        if (openIdentity_ && !(planSource_->Identity() == *openIdentity_))
            throw EFileRefused("Cannot save file " + FileName.string() + ": it changed since it was read",
                               "it changed since it was read");
        if (::access(FileName.c_str(), W_OK) != 0)
            throw EFOpenError("Cannot open file " + FileName.string() + ": " + FileErrorReason(errno),
                              FileErrorReason(errno));
    }
    return *planSource_;
}

std::unique_ptr<TID3v2Class> Tqmx_multitag::TagForSave() {
    if (!PlanOnly) return TagFor(Transaction());
    SaveSource();  // holds the file, checked, while the tag is read
    return std::make_unique<TID3v2Class>(FileName);
}

bool Tqmx_multitag::SaveTag(TID3v2Class& Tag, uint16_t Version) {
    report_.OldVersion = Tag.TagExists ? Tag.Version : 0;
    report_.OldTagBytes = TagBytes(Tag);
    const auto read = FramesAsRead(Tag);
    if (PlanOnly) {
        // As the save of a run would: in place around a block shift where its file system can.
        TStream& source = SaveSource();
        const int64_t block = batch_ != nullptr ? ShiftBlockSizeOf(planSource_->Handle()) : 0;
        const TID3v2SavePlan plan = Tag.PlanSave(Version, source, block);
        const bool rewrite = plan.Rewrite && !plan.Shift;
        const uint32_t size = plan.Shift ? plan.ShiftedTagSize : plan.TagSize;
        RequireCommitPossible(FileName, rewrite);
        report_.Rewrite = rewrite;
        report_.NewVersion = size > 0 ? plan.Version : 0;
        report_.NewTagBytes = size > 0 ? int64_t{size} + 10 : 0;
    } else {
        if (!Tag.SaveToFile(Version)) return false;
        openIdentity_ = Tag.LoadedIdentity;  // the file as saved: a later step builds on it
        report_.Rewrite = Tag.Rewritten;
        report_.NewVersion = Tag.TagExists ? Tag.Version : 0;
        report_.NewTagBytes = TagBytes(Tag);
    }
    DescribeChanges(Tag, read, report_);
    report_.Written = true;
    return true;
}

void Tqmx_multitag::RequireMpegAudio(TStream& File, int64_t AudioStart) const {
    if (FamilyOf() != TFamily::Mpeg) return;
    if (CheckMpegAudio(File, AudioStart) == TMpegAudioCheck::NotMpeg)
        throw EFileRefused("Cannot save file " + FileName.string() + ": not an MPEG audio file",
                           "not an MPEG audio file");
}

bool Tqmx_multitag::WriteBySelection(TTagSelection Selection) {
    // A combined selection runs its writers in order and stops at the first that fails,
    // so a refused picture leaves the file as it was; true only when every writer did.
    const Ttrack& t = *track_;
    auto done = [this](bool Ok) {
        wroteThisSave_ = true;
        return Ok;
    };
    auto v1 = [&] { return done(WriteID3v1(t)); };
    auto v2 = [&] { return done(WriteID3v2(t)); };
    auto ape = [&] { return done(WriteAPE(t)); };
    // ID3v2 and ID3v1 as one save: the new ID3v1 tail goes into the ID3v2 commit, under the
    // lock taken before either tag was read.
    auto v2v1 = [&] {
        pendingTail_ = BuildID3v1Tail(t, SaveSource());
        return done(WriteID3v2(t));
    };
    // Only the ID3v2 engine works a save out without writing it.
    if (PlanOnly && Selection != tsID3v2 && Selection != tsID3v1ID3v2) {
        lastError_ = kNotPlanned;
        return false;
    }
    switch (Selection) {
        case tsID3v1:
            return v1();
        case tsID3v2:
            return v2();
        case tsAPE:
            return ape();
        case tsID3v1ID3v2:
            return v2v1();
        case tsID3v1APE:
            return ape() && v1();
        case tsID3v2APE:
            return v2() && ape();
        case tsAll:
            return v2() && ape() && v1();
        default:
            return false;
    }
}

void Tqmx_multitag::Close() {
    track_.reset();
    loadedID3v2_.reset();
}

std::vector<uint8_t> Tqmx_multitag::PictureTypes() {
    std::vector<uint8_t> types;
    if (!opened_) return types;
    std::unique_ptr<TID3v2Class> tag;
    try {
        tag = std::make_unique<TID3v2Class>(FileName);
    } catch (const EID3LibException&) {
        return types;  // no tag the engine reads, so no picture it knows of
    } catch (const EAssertionFailed&) {
        return types;
    }
    for (const auto& frame : tag->FrameList)
        if (const auto* apic = dynamic_cast<const TAPICFrame*>(frame.get()))
            types.push_back(apic->PictureType);
    return types;
}

// --- helpers ---------------------------------------------------------------

uint8_t Tqmx_multitag::PictureTypeFromName(const std::string& Name) {
    for (size_t i = 0; i < std::size(kPictureTypeNames); ++i)
        if (Name == kPictureTypeNames[i]) return static_cast<uint8_t>(i);
    return 0;
}

std::string Tqmx_multitag::PictureFileToBase64(const std::filesystem::path& Name) {
    TUnicodeFileStream stream(Name, fmOpenRead | fmShareDenyWrite);
    return MimeEncodeStream(stream);
}

std::string Tqmx_multitag::AnsiToApeText(const std::string& Text) {
    return ReplaceAll(AnsiToUtf8(Text), "&", "&amp;");
}

std::string Tqmx_multitag::ApeTextToAnsi(const std::string& Text) {
    return ReplaceAll(Utf8ToAnsi(Text), "&amp;", "&");
}

std::u16string Tqmx_multitag::GenreFromTCON(const std::u16string& Text) {
    std::string text = ToAnsi(Text);
    if (text.empty() || text[0] != '(') return ToWide(text);
    size_t close = text.find(')');
    if (close == std::string::npos) return ToWide(text);
    std::string rest = text.substr(close + 1);
    if (!rest.empty()) return ToWide(rest);
    // Only "(n)": the number's name from the genre table, so the next write keeps it.
    std::string number = text.substr(1, close - 1);
    // "(RX)", "(CR)" and other references without a number stay as they stand too.
    if (number.empty() || number.size() > 3 ||
        !std::all_of(number.begin(), number.end(), [](unsigned char C) { return std::isdigit(C); }))
        return Text;
    size_t n = std::stoul(number);
    // A number without a name is kept as it stands, so the next write does not empty it.
    return n < ID3v1Genres.size() ? ToWide(std::string(ID3v1Genres[n])) : Text;
}

Ttrack Tqmx_multitag::MergeTracks(Ttrack Lower, Ttrack Higher) {
    if (!Higher.GetHasTag() && Lower.GetHasTag()) return Lower;
    if (!Lower.GetHasTag() && Higher.GetHasTag()) return Higher;
    Ttrack merged;
    merged.SetHasTag(true);
    auto pick = [](const auto& High, const auto& Low) { return High.empty() ? Low : High; };
    merged.SetArtist(pick(Higher.GetArtist(), Lower.GetArtist()));
    merged.SetTitle(pick(Higher.GetTitle(), Lower.GetTitle()));
    merged.SetAlbum(pick(Higher.GetAlbum(), Lower.GetAlbum()));
    merged.SetYear(pick(Higher.GetYear(), Lower.GetYear()));
    merged.SetComment(pick(Higher.GetComment(), Lower.GetComment()));
    merged.SetTrackNo(Higher.GetTrackNo() != 0 ? Higher.GetTrackNo() : Lower.GetTrackNo());
    merged.SetGenre(pick(Higher.GetGenre(), Lower.GetGenre()));
    merged.SetURL(pick(Higher.GetURL(), Lower.GetURL()));
    merged.SetEncodedBy(pick(Higher.GetEncodedBy(), Lower.GetEncodedBy()));
    merged.DropTagWithoutArtistAndTitle();
    return merged;
}

// --- readers ---------------------------------------------------------------

template <typename TReader>
bool Tqmx_multitag::ReadThrough(TReader& Reader) {
    if (readHandle_ < 0) return Reader.ReadFromFile(FileName);
    THandleStream stream(readHandle_);
    return Reader.ReadFromStream(stream);
}

Ttrack Tqmx_multitag::ReadID3v2() {
    Ttrack track;
    std::unique_ptr<TID3v2Class> tag;
    try {
        tag = readHandle_ >= 0 ? std::make_unique<TID3v2Class>(FileName, readHandle_)
                               : std::make_unique<TID3v2Class>(FileName);
    } catch (const EID3LibException&) {
        // A tag the engine cannot read gives no record; a file that cannot be read at all
        // (locked, an I/O error) is an error of Open, never "no tag".
        return track;
    } catch (const EAssertionFailed&) {
        return track;
    }
    // A 2.2 tag is read by the engine like 2.3 and 2.4: the small reader's one-byte values
    // would turn every character outside Windows-1252 into '?', and the next write would
    // store that in place of the user's text.
    if (tag->Version < ID3V2_VERSION_2_2) {
        // No tag that the engine reads: the small reader maps whatever it finds.
        const int64_t size = tag->LoadedIdentity ? tag->LoadedIdentity->Size : 0;
        loadedID3v2_ = std::move(tag);
        try {
            // The small reader answers false for an error (or for a file shorter than a header).
            if (!ReadThrough(*id3v2_) && size >= 10)
                throw EFReadError("Cannot read file " + FileName.string(), "it could not be read");
            track.SetHasTag(id3v2_->Exists);
            if (track.GetHasTag()) {
                track.SetArtist(ToWide(id3v2_->Artist));
                track.SetTitle(ToWide(id3v2_->Title));
                track.SetAlbum(ToWide(id3v2_->Album));
                track.SetYear(id3v2_->Year);
                track.SetComment(ToWide(id3v2_->Comment));
                track.SetTrackNo(static_cast<uint8_t>(id3v2_->TrackNo & 0xFF));
                track.SetGenre(ToWide(id3v2_->Genre));
                track.SetURL(id3v2_->URL);
                track.SetEncodedBy(ToWide(id3v2_->EncodedBy));
            }
            track.DropTagWithoutArtistAndTitle();
        } catch (const EFileError&) {
            throw;
        } catch (const std::exception&) {
        }
        return track;
    }
    // 2.2, 2.3 and 2.4: errors here (a track number that is no number) leave the reader.
    track.SetHasTag(tag->FrameCount() > 0);
    for (int i = 0; i < tag->FrameCount(); ++i) {
        TBaseFrame& frame = *tag->Frames(i);
        const std::string id = frame.FrameID();
        if (auto* text = dynamic_cast<TTxxxFrame*>(&frame)) {
            if (id == "TPE1")
                track.SetArtist(text->Text);
            else if (id == "TIT2")
                track.SetTitle(text->Text);
            else if (id == "TALB")
                track.SetAlbum(text->Text);
            else if (id == "TRCK") {
                std::string number = ToAnsi(text->Text);
                number = number.substr(0, number.find('/'));
                track.SetTrackNo(TrackNumberFromText(number));
            } else if (id == "TYER" || id == "TDRC")
                track.SetYear(ToAnsi(text->Text));
            else if (id == "TCON")
                track.SetGenre(GenreFromTCON(text->Text));
            else if (id == "TENC")
                track.SetEncodedBy(text->Text);
        } else if (auto* comment = dynamic_cast<TCOMMFrame*>(&frame); comment && id == "COMM") {
            if (IsRecordFrame(*comment)) track.SetComment(comment->Text);
        } else if (auto* url = dynamic_cast<TWXXXFrame*>(&frame); url && id == "WXXX") {
            if (IsRecordFrame(*url)) track.SetURL(url->URL);
        }
    }
    track.DropTagWithoutArtistAndTitle();
    loadedID3v2_ = std::move(tag);
    return track;
}

Ttrack Tqmx_multitag::ReadID3v1() {
    Ttrack track;
    // A record that could not be read is an error, not a file without one.
    if (!ReadThrough(*id3v1_))
        throw EFReadError("Cannot read file " + FileName.string() + ": " + id3v1_->LastError,
                          id3v1_->LastError);
    try {
        track.SetHasTag(id3v1_->Exists);
        if (track.GetHasTag()) {
            track.SetArtist(ToWide(id3v1_->GetArtist()));
            track.SetTitle(ToWide(id3v1_->GetTitle()));
            track.SetAlbum(ToWide(id3v1_->GetAlbum()));
            track.SetYear(id3v1_->Year);
            track.SetComment(ToWide(id3v1_->GetComment()));
            track.SetTrackNo(id3v1_->TrackNo);
            track.SetGenre(ToWide(id3v1_->GetGenreName()));
        }
        track.DropTagWithoutArtistAndTitle();
    } catch (const std::exception&) {
    }
    return track;
}

Ttrack Tqmx_multitag::ReadAPE() {
    Ttrack track;
    try {
        ape_->ReadFromFile(FileName);
        track.SetHasTag(ape_->Exists);
        if (track.GetHasTag()) {
            track.SetArtist(ToWide(ApeTextToAnsi(ape_->GetValue("ARTIST"))));
            track.SetTitle(ToWide(ApeTextToAnsi(ape_->GetValue("TITLE"))));
            track.SetAlbum(ToWide(ApeTextToAnsi(ape_->GetValue("ALBUM"))));
            track.SetYear(ape_->GetValue("YEAR"));
            track.SetComment(ToWide(ApeTextToAnsi(ape_->GetValue("COMMENT"))));
            track.SetTrackNo(TrackNumberFromText(ape_->GetValue("TRACK")));
            track.SetGenre(ToWide(ApeTextToAnsi(ape_->GetValue("GENRE"))));
            track.SetURL(ApeTextToAnsi(ape_->GetValue("WWW")));
            track.SetEncodedBy(ToWide(ApeTextToAnsi(ape_->GetValue("ENCODEDBY"))));
        }
        track.DropTagWithoutArtistAndTitle();
    } catch (const std::exception&) {
    }
    return track;
}

Ttrack Tqmx_multitag::ReadOggVorbis() {
    Ttrack track;
    try {
        ogg_->ReadFromFile(FileName);
        track.SetHasTag(ogg_->IsValid());
        if (track.GetHasTag()) {
            for (const auto& field : ogg_->Fields) {
                const std::string& key = field.Name;
                const std::u16string& value = field.Value;
                if (key == "TITLE")
                    track.SetTitle(value);
                else if (key == "ARTIST")
                    track.SetArtist(value);
                else if (key == "ALBUM")
                    track.SetAlbum(value);
                else if (key == "TRACKNUMBER")
                    track.SetTrackNo(TrackNumberFromText(ToAnsi(value)));
                else if (key == "DATE")
                    track.SetYear(ToAnsi(value));
                else if (key == "GENRE")
                    track.SetGenre(value);
                else if (key == "COMMENT")
                    track.SetComment(value);
                else if (key == "WWW")
                    track.SetURL(ToAnsi(value));
                else if (key == "ENCODEBY")
                    track.SetEncodedBy(value);
            }
        }
        track.DropTagWithoutArtistAndTitle();
    } catch (const std::exception&) {
    }
    return track;
}

Ttrack Tqmx_multitag::ReadFLAC() {
    Ttrack track;
    try {
        flac_->ReadFromFile(FileName);
        track.SetHasTag(flac_->IsValid());
        if (track.GetHasTag()) {
            track.SetArtist(ToWide(flac_->GetValue("ARTIST")));
            track.SetTitle(ToWide(flac_->GetValue("TITLE")));
            track.SetAlbum(ToWide(flac_->GetValue("ALBUM")));
            track.SetYear(flac_->GetValue("DATE"));
            track.SetComment(ToWide(flac_->GetValue("COMMENT")));
            track.SetTrackNo(TrackNumberFromText(flac_->GetValue("TRACKNUMBER")));
            track.SetGenre(ToWide(flac_->GetValue("GENRE")));
            track.SetURL(flac_->GetValue("WWW"));
            track.SetEncodedBy(ToWide(flac_->GetValue("ENCODEDBY")));
        }
        track.DropTagWithoutArtistAndTitle();
    } catch (const std::exception&) {
    }
    return track;
}

Ttrack Tqmx_multitag::ReadWMA() {
    Ttrack track;
    try {
        wma_->ReadFromFile(FileName);
        track.SetHasTag(wma_->Valid);
        if (track.GetHasTag()) {
            track.SetArtist(wma_->Artist);
            track.SetTitle(wma_->Title);
            track.SetAlbum(wma_->Album);
            track.SetYear(ToAnsi(wma_->Year));
            track.SetComment(wma_->Comment);
            track.SetTrackNo(static_cast<uint8_t>(wma_->TrackNo & 0xFF));
            track.SetGenre(wma_->Genre);
        }
        track.DropTagWithoutArtistAndTitle();
    } catch (const std::exception&) {
    }
    return track;
}

// --- writers ---------------------------------------------------------------

bool Tqmx_multitag::WriteID3v2(const Ttrack& Track) {
    const std::unique_ptr<TID3v2Class> owned = TagForSave();
    TID3v2Class& tag = *owned;
    const TID3v2FormatRow& format = kID3v2Formats[ID3v2Format < kID3v2Formats.size() ? ID3v2Format : 0];
    const TTextEncoding e = format.Encoding;

    // A frame the record rewrites must have been read: one whose values are unknown
    // (encrypted) would be replaced by what the record does not hold.
    for (int i = 0; i < tag.FrameCount(); ++i) {
        TBaseFrame& frame = *tag.Frames(i);
        const std::string id = frame.FrameID();
        if (std::find(kRewrittenFrames.begin(), kRewrittenFrames.end(), id) != kRewrittenFrames.end() &&
            !frame.ContentReadable())
            throw EID3LibSaveRefused(
                "frame \"" + id + "\" at offset " + std::to_string(frame.FileOffset) +
                " cannot be read, so it cannot be rewritten; the file is left unchanged");
    }

    // The frames the record was read from. Every text frame of a rewritten identifier goes
    // into the one new frame; of the comment and link frames, the one the record holds.
    std::map<std::string, std::vector<TTxxxFrame*>> old;
    for (const char* id : {"TPE1", "TIT2", "TALB", "TRCK", "TCON", "TENC"}) old[id] = TextFrames(tag, {id});
    const std::vector<TTxxxFrame*> years = TextFrames(tag, {"TYER", "TDRC"});
    TCOMMFrame* oldComment = RecordFrame<TCOMMFrame>(tag, "COMM");
    TWXXXFrame* oldURL = RecordFrame<TWXXXFrame>(tag, "WXXX");
    for (const auto& [id, frames] : old)
        for (TTxxxFrame* frame : frames) frame->Deleted = true;
    for (TTxxxFrame* frame : years) frame->Deleted = true;
    if (oldComment) oldComment->Deleted = true;
    if (oldURL) oldURL->Deleted = true;

    auto addText = [&tag](const char* Id, std::vector<std::u16string> Values, TTextEncoding Encoding) {
        auto frame = std::make_unique<TTxxxFrame>();
        frame->SetFrameID(Id);
        frame->SetText(Values.front());
        frame->MoreTexts.assign(Values.begin() + 1, Values.end());
        frame->Encoding = EncodingFor(Encoding, frame->Text, frame->MoreTexts);
        tag.AddFrame(std::move(frame));
    };
    // The record holds the first value of a frame only: the further values ("Rock" and "Pop")
    // go with it into the new frame while it reads as the frame it came from.
    auto rewrite = [&](const char* Id, const std::u16string& Value, bool Unchanged, TTextEncoding Encoding) {
        addText(Id, MergedValues(Value, old[Id], Unchanged), Encoding);
    };
    auto readsAs = [&](const char* Id, const std::u16string& Value) {
        return !old[Id].empty() && old[Id].back()->Text == Value;
    };
    rewrite("TPE1", Track.GetArtist(), readsAs("TPE1", Track.GetArtist()), e);
    rewrite("TIT2", Track.GetTitle(), readsAs("TIT2", Track.GetTitle()), e);
    rewrite("TALB", Track.GetAlbum(), readsAs("TALB", Track.GetAlbum()), e);
    {
        // The record's track number has no total: "3/12" is written back as it stands while it
        // still reads as the same number, instead of as "3".
        const auto& frames = old["TRCK"];
        const uint8_t number = Track.GetTrackNo();
        const bool keep = !frames.empty() && IsTrackText(frames.back()->Text, number);
        rewrite("TRCK", keep ? frames.back()->Text : ToWide(std::to_string(number)), keep, teISO8859_1);
    }
    {
        // "(17)" and "(17)Rock" read as "Rock" and are written so. While the genre reads as
        // before, references the genre does not say ("(9)Metalcore": Metal, refined) stay.
        const auto& frames = old["TCON"];
        const bool unchanged = !frames.empty() && GenreFromTCON(frames.back()->Text) == Track.GetGenre();
        const bool keepText = unchanged && !ReferencesSay(frames.back()->Text, Track.GetGenre());
        rewrite("TCON", keepText ? frames.back()->Text : Track.GetGenre(), unchanged, e);
    }
    {
        auto comment = std::make_unique<TCOMMFrame>();
        comment->SetText(Track.GetComment());
        // The comment keeps the language it was read in, and its further values while unchanged.
        if (oldComment != nullptr) {
            comment->SetLanguage(oldComment->Language());
            if (oldComment->Text == Track.GetComment()) comment->MoreTexts = oldComment->MoreTexts;
        }
        comment->Encoding = EncodingFor(e, Track.GetComment(), comment->MoreTexts);
        tag.AddFrame(std::move(comment));
    }
    {
        auto url = std::make_unique<TWXXXFrame>();
        url->Encoding = teISO8859_1;
        url->SetURL(Track.GetURL());
        tag.AddFrame(std::move(url));
    }
    rewrite("TENC", Track.GetEncodedBy(), readsAs("TENC", Track.GetEncodedBy()), e);
    {
        // The record holds the year frame's text; while it stands as read, the whole date goes
        // into the year frame (the save gives it the target version's form).
        const std::u16string year = ToWide(Track.GetYear());
        const bool unchanged = !years.empty() && years.back()->Text == year;
        const bool toTDRC = std::string_view(format.YearFrame) == "TDRC";
        const std::u16string first = !unchanged ? year
                                     : toTDRC   ? FullDate(tag, *years.back())
                                                : years.back()->Text;
        addText(format.YearFrame, MergedValues(first, years, unchanged), teISO8859_1);
    }

    for (const TPic& pic : Pictures) {
        const uint8_t type = PictureTypeFromName(pic.PictureType);
        // Only a picture of exactly this type is replaced; one whose type could not be read
        // (its content could not be inflated) stays.
        for (int i = 0; i < tag.FrameCount(); ++i) {
            auto* apic = dynamic_cast<TAPICFrame*>(tag.Frames(i));
            if (apic != nullptr && apic->ContentReadable() && apic->PictureType == type) tag.DeleteFrame(i);
        }
        auto apic = std::make_unique<TAPICFrame>();
        // A picture that cannot be read or recognised is never written as an empty frame:
        // the file stays untouched.
        if (!apic->LoadPictureFromFile(pic.FileName)) {
            lastError_ = "the picture " + pic.FileName.string() + " is not a recognised image";
            return false;
        }
        apic->SetPictureType(type);
        const std::u16string description = ToWide(pic.Description);
        apic->SetDescription(description);
        apic->Encoding = EncodingFor(e, description);
        tag.AddFrame(std::move(apic));
    }
    TStream& source = SaveSource();
    RequireMpegAudio(source, TagBytes(tag));
    if (pendingTail_) {
        const int64_t tailStart = TID3v1::AudioEnd(source);
        source.SetPosition(tailStart);
        report_.ID3v1Changed = source.ReadBytes(source.Size() - tailStart) != *pendingTail_;
        tag.NewTail = std::move(*pendingTail_);
    }
    pendingTail_.reset();
    return SaveTag(tag, format.Version);
}

bool Tqmx_multitag::RemoveAllPictures() {
    if (!track_ || !opened_) {
        // A file whose tags could not be read is never written.
        if (lastError_.empty()) lastError_ = "its tags could not be read";
        return false;
    }
    lastError_.clear();
    report_ = TSaveReport();
    const TTagSelection selection = WriteSelection(FamilyOf());
    if (selection != tsID3v2 && selection != tsID3v1ID3v2 && selection != tsID3v2APE && selection != tsAll) {
        lastError_ = "not a file type that is written";
        return false;
    }
    wroteThisSave_ = false;
    pendingSave_ = 0;
    struct TEnd {
        Tqmx_multitag& Self;
        ~TEnd() {
            Self.transaction_.reset();
            Self.planSource_.reset();
            Self.deferSave_ = false;
        }
    } end{*this};
    try {
        deferSave_ = true;
        const std::unique_ptr<TID3v2Class> owned = TagForSave();
        TID3v2Class& tag = *owned;
        // A tag that cannot be read whole may hold a picture where the walk stopped: "Deleted"
        // would be a lie, and a save would drop the frames after it.
        if (const std::string problem = tag.LoadProblem(); !problem.empty()) {
            lastError_ = problem + "; the file is left unchanged";
            return false;
        }
        bool removed = false;
        for (int i = 0; i < tag.FrameCount(); ++i) {
            if (dynamic_cast<TAPICFrame*>(tag.Frames(i)) != nullptr) {
                tag.DeleteFrame(i);
                removed = true;
            }
        }
        // A file without pictures is left exactly as it is: rewriting it could only lose what
        // the engine did not understand (a tag whose frames it cannot read would be dropped).
        if (!removed) {
            report_.OldVersion = report_.NewVersion = tag.TagExists ? tag.Version : 0;
            report_.OldTagBytes = report_.NewTagBytes = TagBytes(tag);
            return true;
        }
        RequireMpegAudio(SaveSource(), TagBytes(tag));
        if (SaveTag(tag, 0)) {
            HandOver();
            return true;
        }
        lastError_ = "the file could not be saved";
    } catch (const std::exception& e) {
        if (!RefusedWith(e)) throw;
    }
    return false;
}

std::vector<uint8_t> Tqmx_multitag::BuildID3v1Tail(const Ttrack& Track, TStream& File) {
    TID3v1 tag;
    // Lyrics, author and image links of an existing Lyrics3 block are carried over, so
    // writing the record never deletes them; a block that cannot be read stops the save.
    {
        TID3v1 existing;
        if (!existing.ReadFromStream(File))
            throw EFReadError(
                "Cannot read the Lyrics3 block of " + FileName.string() + ": " + existing.LastError,
                "its ID3v1 and Lyrics3 data could not be read (" + existing.LastError + ")");
        tag.Lyrics = existing.Lyrics;
        tag.Author = existing.Author;
        tag.ImageLinks = existing.ImageLinks;
    }
    tag.SetArtist(ToAnsi(Track.GetArtist()));
    tag.SetTitle(ToAnsi(Track.GetTitle()));
    tag.SetAlbum(ToAnsi(Track.GetAlbum()));
    tag.SetTrackNo(Track.GetTrackNo());
    tag.SetYear(Track.GetYear());
    tag.SetGenreName(ToAnsi(Track.GetGenre()));
    tag.SetComment(ToAnsi(Track.GetComment()));
    return tag.BuildTail(true);
}

bool Tqmx_multitag::WriteID3v1(const Ttrack& Track) {
    // The old tail is found and replaced in the same transaction (through its journal).
    TFileTransaction& transaction = Transaction();
    const std::vector<uint8_t> tail = BuildID3v1Tail(Track, transaction.Stream());
    const int64_t size = transaction.Stream().Size();
    const int64_t start = TID3v1::AudioEnd(transaction.Stream());
    transaction.CommitInPlace({TSplice{start, size - start, tail}});
    return true;
}

bool Tqmx_multitag::WriteAPE(const Ttrack& Track) {
    TAPETag tag;
    tag.AppendField("ARTIST", AnsiToApeText(ToAnsi(Track.GetArtist())));
    tag.AppendField("TITLE", AnsiToApeText(ToAnsi(Track.GetTitle())));
    tag.AppendField("ALBUM", AnsiToApeText(ToAnsi(Track.GetAlbum())));
    tag.AppendField("TRACK", std::to_string(Track.GetTrackNo()));
    tag.AppendField("YEAR", Track.GetYear());
    tag.AppendField("GENRE", AnsiToApeText(ToAnsi(Track.GetGenre())));
    tag.AppendField("COMMENT", AnsiToApeText(ToAnsi(Track.GetComment())));
    tag.AppendField("WWW", AnsiToApeText(Track.GetURL()));
    tag.AppendField("ENCODEDBY", AnsiToApeText(ToAnsi(Track.GetEncodedBy())));
    return tag.SaveTag(FileName);
}

bool Tqmx_multitag::WriteFLAC(const Ttrack& Track) {
    TFLACfile flac;
    flac.SetValue("ARTIST", ToAnsi(Track.GetArtist()));
    flac.SetValue("TITLE", ToAnsi(Track.GetTitle()));
    flac.SetValue("ALBUM", ToAnsi(Track.GetAlbum()));
    flac.SetValue("TRACKNUMBER", std::to_string(Track.GetTrackNo()));
    flac.SetValue("DATE", Track.GetYear());
    flac.SetValue("GENRE", ToAnsi(Track.GetGenre()));
    flac.SetValue("COMMENT", ToAnsi(Track.GetComment()));
    flac.SetValue("WWW", Track.GetURL());
    flac.SetValue("ENCODEDBY", ToAnsi(Track.GetEncodedBy()));
    return flac.SaveToFile(FileName, false);
}

bool Tqmx_multitag::WriteOggVorbis(const Ttrack& Track) {
    TOggVorbis ogg;
    auto add = [&ogg](const char* Key, const std::u16string& Value) { ogg.Fields.push_back({Key, Value}); };
    add("TITLE", Track.GetTitle());
    add("ARTIST", Track.GetArtist());
    add("ALBUM", Track.GetAlbum());
    add("TRACKNUMBER", ToWide(std::to_string(Track.GetTrackNo())));
    add("DATE", ToWide(Track.GetYear()));
    add("GENRE", Track.GetGenre());
    add("COMMENT", Track.GetComment());
    add("WWW", ToWide(Track.GetURL()));
    add("ENCODEBY", Track.GetEncodedBy());
    for (const TPic& pic : Pictures) {
        add("COVERARTMIME", u"image/jpeg");
        add("COVERART", ToWide(PictureFileToBase64(pic.FileName)));
    }
    return ogg.SaveTag(FileName);
}

}  // namespace covrilo
