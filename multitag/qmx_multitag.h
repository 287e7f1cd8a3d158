// SPDX-License-Identifier: MIT
// Tqmx_multitag: the one door through which the hosts read and write the tags of an audio
// file, whatever its format. Reads every format into one Ttrack, queues pictures, and writes
// record and pictures back through the format classes chosen by the file's extension.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "io/EnhancedStreams.h"
#include "multitag/TSaveReport.h"
#include "multitag/class_track.h"

namespace covrilo {

class TID3v1;
class TID3v2;
class TID3v2Class;
class TAPETag;
class TOggVorbis;
class TFLACfile;
class TWMAfile;
class TFileTransaction;
class TSaveBatch;
class TID3v2Class;

// Which tag kinds are read from or written to a family of formats. An enumeration, not
// bits; values outside 0..7 act as tsNone.
enum TTagSelection : int32_t {
    tsNone = 0,
    tsID3v1 = 1,
    tsID3v2 = 2,
    tsAPE = 3,
    tsID3v1ID3v2 = 4,
    tsID3v1APE = 5,
    tsID3v2APE = 6,
    tsAll = 7,
};

// A picture handed to the facade.
struct TPic {
    std::filesystem::path FileName;
    std::string PictureType;  // "Other", "FrontCover", ... (unknown names count as "Other")
    std::string Description;
};

// The 21 picture-type names handed to the facade, index = ID3v2 picture-type byte.
inline constexpr const char* kPictureTypeNames[21] = {"Other",
                                                      "FileIcon",
                                                      "OtherFileIcon",
                                                      "FrontCover",
                                                      "BackCover",
                                                      "LeafletPage",
                                                      "Media",
                                                      "LeadArtist",
                                                      "Artist",
                                                      "Conductor",
                                                      "Band",
                                                      "Composer",
                                                      "Lyricist",
                                                      "RecordingLocation",
                                                      "DuringRecording",
                                                      "DuringPerformance",
                                                      "VideoScreenCapture",
                                                      "ColouredFish",
                                                      "Illustration",
                                                      "BandLogo",
                                                      "PublisherStudio"};

class Tqmx_multitag {
   public:
    Tqmx_multitag();
    ~Tqmx_multitag();
    Tqmx_multitag(const Tqmx_multitag&) = delete;
    Tqmx_multitag& operator=(const Tqmx_multitag&) = delete;

    // Saves of MPEG files (ID3v2 + ID3v1 in one save, and RemoveAllPictures) are handed to
    // Batch once their new content is written: Save answers true, PendingSave() names the
    // save, and the batch reports whether the file became durable. Null: every save is
    // durable before it answers.
    void SetSaveBatch(TSaveBatch* Batch) { batch_ = Batch; }
    // The last Save or RemoveAllPictures that answered true and was handed to the batch; 0
    // when it is durable already (or answered false).
    uint64_t PendingSave() const { return pendingSave_; }

    void SetMpegReadTags(TTagSelection Value) { MpegReadTags = Value; }
    void SetMpegWriteTags(TTagSelection Value) { MpegWriteTags = Value; }

    // Reads the tags of FileName into a new current record. True when the file exists and
    // reading raised no error; an error (a lock, an I/O error, a file that changed while it
    // was read) is never taken for "no tag": Open answers false and LastError says why.
    // First restores a file that an interrupted in-place save left behind.
    bool Open(const std::filesystem::path& FileName);
    // The current record; valid until Close.
    const Ttrack& Track() const;
    void AddPicture(const TPic& Pic) { Pictures.push_back(Pic); }
    // Writes the current record and the queued pictures by the file's type. False, without
    // touching the file, after an Open that failed, for a type that is not written, and when
    // a save is refused (the file changed since Open, it is no MPEG audio, a read of what
    // the save builds on failed, ...). For MPEG files ID3v2 and ID3v1 go into the file in
    // one save, which holds the file locked from the read it builds on to its commit. Other
    // errors of the file system (locked, may not be written, disk full) raise, with the reason.
    bool Save();
    // Removes every attached picture from the file's ID3v2 tag (keeping its version). True
    // when the file holds no picture afterwards; false, with LastError, when it was refused
    // or its tags could not be read (the file is then unchanged).
    bool RemoveAllPictures();
    void Close();
    // The ID3v2 tag the last Open read (frames, version, the ID3v1 record), until Close, the
    // next Open or a save (which builds on it); nothing when it could not be read.
    const TID3v2Class* LoadedID3v2() const { return loadedID3v2_.get(); }
    // Why the last Open, Save or RemoveAllPictures answered false; empty after a success.
    const std::string& LastError() const { return lastError_; }
    // What the last Save or RemoveAllPictures did, or with PlanOnly would do.
    const TSaveReport& LastReport() const { return report_; }
    // The picture-type bytes of the open file's ID3v2 pictures, in tag order; none for a file
    // whose tag the engine cannot read. File errors raise.
    std::vector<uint8_t> PictureTypes();
    // The file as the last Open read it or the last Save left it; nothing after a failure.
    const std::optional<TFileIdentity>& FileIdentity() const { return openIdentity_; }

    // When set, Save and RemoveAllPictures work out everything they would do (reading the
    // file, refusing what they would refuse, deciding in place or rewrite through the
    // engine's own plan) and write nothing; LastReport then says what they would do. Open
    // then leaves a file that an interrupted save left behind as it is, and refuses it.
    bool PlanOnly = false;

    // The picture-type number of a name (exact comparison); 0 for unknown names.
    static uint8_t PictureTypeFromName(const std::string& Name);
    // Base64 of a whole file, encoded in blocks of 2736 bytes.
    static std::string PictureFileToBase64(const std::filesystem::path& FileName);
    // One-byte text -> APE value text (UTF-8, "&" as "&amp;") and back.
    static std::string AnsiToApeText(const std::string& Text);
    static std::string ApeTextToAnsi(const std::string& Text);
    // The ID3v2 mapping of a "TCON" text to the genre field: "(17)Rock" -> "Rock",
    // "(17)" -> the genre table's "Rock", anything else unchanged.
    static std::u16string GenreFromTCON(const std::u16string& Text);
    // Combines two records; a non-empty field of Higher wins.
    static Ttrack MergeTracks(Ttrack Lower, Ttrack Higher);

    // Readers (each returns a new record; errors handled as each one describes).
    Ttrack ReadID3v2();
    Ttrack ReadID3v1();
    Ttrack ReadAPE();
    Ttrack ReadOggVorbis();
    Ttrack ReadFLAC();
    Ttrack ReadWMA();
    // Writers of the current record; true on success. Errors of the format code propagate.
    bool WriteID3v2(const Ttrack& Track);
    bool WriteID3v1(const Ttrack& Track);
    bool WriteAPE(const Ttrack& Track);
    bool WriteFLAC(const Ttrack& Track);
    bool WriteOggVorbis(const Ttrack& Track);

    std::filesystem::path FileName;
    std::vector<TPic> Pictures;
    TTagSelection MpegWriteTags = tsNone, AacWriteTags = tsNone, ApeWriteTags = tsNone, MpcWriteTags = tsNone,
                  OptimFrogWriteTags = tsNone, TtaWriteTags = tsNone, WavPackWriteTags = tsNone;
    bool WriteVorbisComments = false;
    TTagSelection MpegReadTags = tsNone, AacReadTags = tsNone, ApeReadTags = tsNone, MpcReadTags = tsNone,
                  OptimFrogReadTags = tsNone, TtaReadTags = tsNone, WavPackReadTags = tsNone;
    // 0: ID3v2.3 Latin-1, 1: ID3v2.3 UTF-16, 2: ID3v2.4 UTF-8.
    uint8_t ID3v2Format = 0;

   private:
    enum class TFamily { None, Wav, Ogg, Flac, Wma, Mpeg, Aac, Ape, Mpc, OptimFrog, Tta, WavPack };
    TFamily FamilyOf() const;
    TTagSelection ReadSelection(TFamily Family) const;
    TTagSelection WriteSelection(TFamily Family) const;
    Ttrack ReadBySelection(TTagSelection Selection);
    bool WriteBySelection(TTagSelection Selection);
    // The transaction the writers of one Save share; the first one checks that the file is
    // still the one Open read.
    TFileTransaction& Transaction();
    // What a save reads the file through: the transaction, or with PlanOnly a shared read
    // of the file that is still the one Open read.
    TStream& SaveSource();
    // The ID3v2 tag as a save builds on it, read through SaveSource's file.
    std::unique_ptr<TID3v2Class> TagForSave();
    // Saves Tag as Version (or with PlanOnly plans it) and fills the report.
    bool SaveTag(TID3v2Class& Tag, uint16_t Version);
    // The ID3v1 record and Lyrics3 block for Track, carrying the file's Lyrics3 content over.
    std::vector<uint8_t> BuildID3v1Tail(const Ttrack& Track, TStream& File);
    // Raises EFileRefused ("not an MPEG audio file") for an MPEG-family file whose bytes
    // after the tag are no MPEG audio.
    void RequireMpegAudio(TStream& File, int64_t AudioStart) const;
    bool RefusedWith(const std::exception& Error);

    std::unique_ptr<Ttrack> track_;
    std::unique_ptr<TID3v2Class> loadedID3v2_;
    int readHandle_ = -1;  // while Open reads: the descriptor every reader reads through
    std::string lastError_;
    bool opened_ = false;                        // the last Open read the file without error
    std::optional<TFileIdentity> openIdentity_;  // the file as Open read it
    std::unique_ptr<TFileTransaction> transaction_;
    TSaveBatch* batch_ = nullptr;
    bool deferSave_ = false;    // the save being made may be handed to the batch
    uint64_t pendingSave_ = 0;  // the last save handed to it
    // The tag a writer changes and saves through Transaction: the one Open read, while the
    // file is still as it was read, else read anew.
    std::unique_ptr<TID3v2Class> TagFor(TFileTransaction& Transaction);
    // Hands a transaction left pending to the batch.
    void HandOver();
    // Reader reads FileName: through the descriptor Open holds, while Open reads.
    template <typename TReader>
    bool ReadThrough(TReader& Reader);
    // Make() again after the batch has finished its saves, when a lock stopped it.
    template <typename TMake>
    auto WhenUnlocked(TMake Make);
    std::unique_ptr<TUnicodeFileStream> planSource_;  // SaveSource with PlanOnly
    TSaveReport report_;
    bool wroteThisSave_ = false;
    std::optional<std::vector<uint8_t>> pendingTail_;  // the ID3v1 tail of a combined save
    std::unique_ptr<TID3v1> id3v1_;
    std::unique_ptr<TID3v2> id3v2_;
    std::unique_ptr<TAPETag> ape_;
    std::unique_ptr<TOggVorbis> ogg_;
    std::unique_ptr<TFLACfile> flac_;
    std::unique_ptr<TWMAfile> wma_;
};

}  // namespace covrilo
