// SPDX-License-Identifier: MIT
// The ID3v2 tag at the start of one audio file (2.2, 2.3, 2.4), plus the ID3v1 record at its
// end, as an ordered list of frame objects that can be changed and written back.
//
// Tag header (10 bytes): "ID3", major, revision, flags, size (syncsafe: bytes after the
// header: extended header, frames and padding). With flag 0x40 (2.3/2.4) an extended header
// follows: 2.3 a 32-bit big-endian count of the bytes after it, 2.4 a syncsafe count that
// includes its own four bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "id3v2/ID3v2FrameWalk.h"
#include "id3v2/ID3v2Types.h"
#include "id3v2/frames/TBaseFrame.h"
#include "io/EnhancedStreams.h"
#include "io/FileTransaction.h"

namespace covrilo {

// A save of the tag worked out to the byte, before anything is written.
struct TID3v2SavePlan {
    uint16_t Version = 0;  // the version the tag is written as
    // Through a new copy of the file that replaces it (the tag grows past its area, shrinks
    // too far, comes or goes); otherwise the tag area and the end are overwritten in place.
    bool Rewrite = false;
    uint32_t TagSize = 0;        // the new tag's size field (bytes after its header); 0: no tag
    std::vector<TSplice> Edits;  // the whole save as edits of the file as it is
    // A rewrite that the file system can do in place instead, by inserting or taking out the
    // whole blocks of Shift; ShiftedEdits then write the tag at ShiftedTagSize over the area
    // as shifted (Edits remain the rewrite, should the file system refuse the shift).
    std::optional<TBlockShift> Shift;
    uint32_t ShiftedTagSize = 0;
    std::vector<TSplice> ShiftedEdits;
};

class TID3v2Class {
   public:
    // Stores the name and loads the file's tag and ID3v1 record at once. Raises what the
    // load raises (stream errors, EID3LibLoadException); no object is then made.
    explicit TID3v2Class(const std::filesystem::path& FileName);
    // Loads through Transaction, which holds the file locked: the next SaveToFile commits
    // through it, so nothing can change the file between the read and the write.
    TID3v2Class(const std::filesystem::path& FileName, TFileTransaction& Transaction);
    // Loads through Handle, a descriptor of FileName that the caller holds open (and locked)
    // for reading; it stays the caller's. A later save opens the file itself.
    TID3v2Class(const std::filesystem::path& FileName, int Handle);
    ~TID3v2Class();
    TID3v2Class(const TID3v2Class&) = delete;
    TID3v2Class& operator=(const TID3v2Class&) = delete;

    // The next SaveToFile commits through Transaction, which holds the file locked and must
    // hold it as it was loaded (the caller checks that it has not changed since).
    void Attach(TFileTransaction& Transaction) { transaction_ = &Transaction; }
    // Reads the tag and the ID3v1 record of FileName into the frame list (replacing it).
    void LoadFromFile();

    // Number of entries, the ID3v1 entry included.
    int FrameCount() const { return static_cast<int>(FrameList.size()); }
    // The entry at Index; std::out_of_range when there is none.
    TBaseFrame* Frames(int Index) const;
    // Takes ownership; returns the new index, or -1 for a null frame.
    int AddFrame(std::unique_ptr<TBaseFrame> Frame);
    // Marks the entry deleted and returns it; it leaves the list at the next successful save.
    TBaseFrame* DeleteFrame(int Index);

    // Writes the frames as a tag of Version (0: the loaded version, at least 2.3), in place
    // when they fit the old tag area with at most 4096 bytes to spare, otherwise through a
    // temporary file that atomically replaces the file (see io/FileTransaction.h). Handles
    // the ID3v1 entry (or NewTail) at the end in the same save. True on success; raises on
    // an unsupported version, frame errors, and file errors (EFileRefused when the file is
    // no longer the one loaded; the file is then exactly as it was).
    // A save that would drop, cut or change what it was not asked to change (a tag whose
    // frames could not all be read, a frame that cannot be carried into Version) raises
    // EID3LibSaveRefused before the file is opened for writing.
    //
    // Across versions the date frames are converted as the ID3v2.4 standard has it
    // ("TYER" + "TDAT" + "TIME" <-> "TDRC", "TORY" <-> "TDOR"), where the target's frames
    // can hold the date whole; texts are re-encoded where the target lacks their encoding;
    // the extended header is rewritten in the target's layout.
    bool SaveToFile(uint16_t Version);
    // What SaveToFile(Version) writes when File holds the file as it is now: every decision
    // of the save (the version, in place or rewrite, the bytes), and every refusal it raises
    // before the file is touched. SaveToFile itself works through this. Nothing is written
    // here; the frame list is prepared for Version as a save prepares it (dates converted,
    // frames that stop readers moved last). BlockSize: the blocks File's file system inserts
    // and takes out (0: none; a rewrite is then never planned as a block shift).
    TID3v2SavePlan PlanSave(uint16_t Version, TStream& File, int64_t BlockSize = 0);
    // Writes the tag header (and extended header) for Size and Version at the position.
    bool WriteTagHeader(TStream& Stream, uint32_t Size, uint16_t Version);
    // The extended header that a tag of Version and Size would carry (size field first;
    // empty for none): the loaded one rewritten in Version's layout with its CRC computed
    // over the frames being saved and its padding size that of the new tag.
    std::vector<uint8_t> ExtendedHeaderFor(uint16_t Version, uint32_t Size) const;

    // Inner operations, public for tests and tools.
    bool ReadTagHeader(TStream& Stream);
    bool PeekFrameID(TStream& Stream, uint16_t Version, std::string& ID);
    static bool IsValidFrameID(std::string_view ID, int LastIndex);
    bool IsFrameSupported(std::string_view ID, uint16_t Version);
    static std::unique_ptr<TBaseFrame> CreateFrame(std::string_view ID);
    // True when some entry is neither the ID3v1 record nor marked deleted.
    bool HasFrames() const;
    // Why a save of the loaded tag must be refused whatever it writes ("" when it need
    // not): its frames could not all be read, or its header claims more than the file holds.
    std::string LoadProblem() const;

    std::filesystem::path FileName;
    bool Modified = false;
    // The last SaveToFile wrote the file anew (a rewrite) rather than in place.
    bool Rewritten = false;
    bool TagExists = false;
    uint32_t TagSize = 0;
    uint16_t Version = 0;
    TTagFlags TagFlags = 0;
    bool HasID3v1 = false;
    bool RemoveTag = false;
    std::string TempExtension = ".$$$";
    TMemoryStream ExtendedHeader;
    std::vector<std::unique_ptr<TBaseFrame>> FrameList;
    // How the walk over the loaded tag's frames went.
    TFrameWalk FrameWalk;
    // The size of the file when it was loaded.
    int64_t LoadedFileSize = 0;
    // Where the zero bytes at the end of the loaded tag area begin (its padding); 0 when
    // the file has no tag.
    int64_t LoadedPaddingStart = 0;
    // The loaded tag set the extended-header flag, but frames follow the header directly.
    bool StrayExtendedHeaderFlag = false;
    // The file as the last load read it (or the last save left it).
    std::optional<TFileIdentity> LoadedIdentity;
    // When set, the next save also replaces the file's ID3v1 record and the Lyrics3 block
    // in front of it by these bytes, so that both tags change in one save; the ID3v1 entry
    // of the list is then not written but read anew from them.
    std::optional<std::vector<uint8_t>> NewTail;

   private:
    // The save's first step: refusals, the conversions between versions, the order of the
    // frames; nothing touches the file.
    void PrepareFrames(uint16_t Target);
    void ConvertDateFrames(uint16_t Target);
    [[noreturn]] void Refuse(const std::string& Reason) const;
    struct TRenderedTag;
    // The save's next step: the target version and the rendered frames.
    TRenderedTag RenderTag(uint16_t Version);
    // The last before the commit: how the rendered tag goes into File.
    // BlockSize: the blocks the file system inserts and takes out (0: it cannot).
    TID3v2SavePlan LayOutTag(const TRenderedTag& Rendered, TStream& File, int64_t BlockSize);
    // What decides between writing in place and rewriting the file.
    struct TSaveShape {
        bool TagExists;   // the file has a tag now
        bool HasFrames;   // the list has frames to write
        bool RemovesTag;  // RemoveTag is set
        bool HasFooter;   // the old tag has a 2.4 footer
        int64_t OldSize;  // the old tag's size field
        int64_t NewSize;  // what the new tag takes after its header
    };
    static bool SaveNeedsRewrite(const TSaveShape& Shape);

    TFileTransaction* transaction_ = nullptr;
    int readHandle_ = -1;  // the caller's descriptor the load reads, when it gave one
    // The frames being saved, while a save renders them (for the extended header's CRC).
    const std::vector<uint8_t>* renderedFrames_ = nullptr;
};

}  // namespace covrilo
