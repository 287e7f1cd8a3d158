// SPDX-License-Identifier: MIT
#include "id3v2/frames/TContainerFrame.h"

#include <algorithm>

#include "id3v2/frames/TRawFrame.h"
#include "io/ByteCursor.h"

namespace covrilo {

TContainerFrame::TContainerFrame() { SupportedVersions = svID3v23 | svID3v24; }

bool TContainerFrame::TakeLatin1(std::span<const uint8_t> Content, size_t& Pos, std::string& Text) {
    const auto* begin = Content.data() + Pos;
    const auto* end = std::find(begin, Content.data() + Content.size(), uint8_t{0});
    if (end == Content.data() + Content.size()) return false;
    Text.assign(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin));
    Pos += Text.size() + 1;
    return true;
}

bool TContainerFrame::TakeBE32(std::span<const uint8_t> Content, size_t& Pos, uint32_t& Value) {
    TByteCursor cursor(Content, Pos);
    const std::optional<uint32_t> read = Pos <= Content.size() ? cursor.U32BE() : std::nullopt;
    if (!read) return false;
    Value = *read;
    Pos = cursor.Pos();
    return true;
}

bool TContainerFrame::LoadFromStream(TStream& Stream, uint16_t Version) {
    return ParseFrame(Stream, Version);
}

void TContainerFrame::ClearFields() {
    SubFrames.clear();
    subFrameOffsets_.clear();
    loadedSubFrames_ = 0;
    // Content that cannot be read, or own fields that do not fit it, leave no walk.
    SubFrameWalk = TFrameWalk{};
    SubFrameWalk.Complete = false;
    SubFrameWalk.StopOffset = 0;
    SubFrameWalk.StopReason = "has fields that do not fit its size";
    // Where the content starts in the frame: after the header and its extra bytes.
    subFrameStart_ = 10 + (size_t{FrameSize} - DataSize);
}

void TContainerFrame::ParseFields(std::span<const uint8_t> Content, uint16_t Version) {
    size_t used = 0;
    if (!ParseOwnFields(Content, used)) return;
    SubFrameWalk = WalkFrames(Content.subspan(used), 0, Version, SubFrames);
    for (const auto& frame : SubFrames) subFrameOffsets_.push_back(frame->FileOffset);
    subFrameStart_ += used;
    loadedSubFrames_ = SubFrames.size();
}

void TContainerFrame::SetFileOffset(int64_t Offset) {
    FileOffset = Offset;
    for (size_t i = 0; i < SubFrames.size() && i < subFrameOffsets_.size(); ++i)
        SubFrames[i]->SetFileOffset(Offset + static_cast<int64_t>(subFrameStart_) + subFrameOffsets_[i]);
}

bool TContainerFrame::SubFramesChanged() const {
    if (SubFrames.size() != loadedSubFrames_) return true;
    return std::any_of(SubFrames.begin(), SubFrames.end(),
                       [](const auto& Frame) { return Frame->Modified || Frame->Deleted; });
}

bool TContainerFrame::OriginalFits(uint16_t Version) const {
    // Sub-frames follow the layout of their version: content as read fits that one only.
    return hasOriginal_ && MajorVersion(LoadedVersion) == MajorVersion(Version) && !SubFramesChanged();
}

std::vector<TBaseFrame*> TContainerFrame::WrittenSubFrames() const {
    std::vector<TBaseFrame*> out;
    for (const auto& frame : SubFrames)
        if (!frame->Deleted) out.push_back(frame.get());
    std::stable_partition(out.begin(), out.end(), [](const TBaseFrame* Frame) {
        const auto* raw = dynamic_cast<const TRawFrame*>(Frame);
        return raw == nullptr || !raw->StopsReaders();
    });
    return out;
}

std::string TContainerFrame::CarryProblem(uint16_t Version) {
    std::string problem = TBaseFrame::CarryProblem(Version);
    if (!problem.empty() || WritesOriginal(Version)) return problem;
    if (!SubFrameWalk.Complete)
        return "holds frames that cannot all be read, so it cannot be converted to ID3v2." +
               std::to_string(MajorVersion(Version));
    for (TBaseFrame* frame : WrittenSubFrames()) {
        problem = frame->CarryProblem(Version);
        if (!problem.empty())
            return "holds a frame \"" + PrintableFrameID(frame->FrameID()) + "\" that " + problem;
    }
    return {};
}

void TContainerFrame::PrepareSave(uint16_t Version) {
    if (WritesOriginal(Version)) return;
    if (ContentReadable()) DropOriginal();
    for (TBaseFrame* frame : WrittenSubFrames()) frame->PrepareSave(Version);
}

uint32_t TContainerFrame::GetDataSize(uint16_t Version) {
    if (WritesOriginal(Version)) return OriginalSize();
    RequireValues(Version);
    if (!SubFrameWalk.Complete)
        throw EID3LibFrameVersionMismatch("frame \"" + PrintableFrameID(FrameID()) + "\" " +
                                          CarryProblem(Version));
    uint64_t size = RenderOwnFields().size();
    for (TBaseFrame* frame : WrittenSubFrames())
        size += uint64_t{frame->GetHeaderSize(Version)} + frame->GetDataSize(Version);
    return static_cast<uint32_t>(std::min<uint64_t>(size, UINT32_MAX));
}

bool TContainerFrame::SaveToStream(TStream& Stream, uint16_t Version) {
    if (WritesOriginal(Version)) return SaveOriginal(Stream, Version);
    PrepareSave(Version);
    RequireValues(Version);
    TMemoryStream body;
    std::vector<uint8_t> fields = RenderOwnFields();
    bool ok = WriteBytes(body, fields);
    for (TBaseFrame* frame : WrittenSubFrames()) ok = ok && frame->SaveToStream(body, Version);
    FrameFlags &= static_cast<TFrameFlags>(~(ffCompression | ffEncryption));
    // Deleted sub-frames are gone once written; the frame now holds what it wrote.
    SubFrames.erase(
        std::remove_if(SubFrames.begin(), SubFrames.end(), [](const auto& Frame) { return Frame->Deleted; }),
        SubFrames.end());
    std::stable_partition(SubFrames.begin(), SubFrames.end(), [](const auto& Frame) {
        const auto* raw = dynamic_cast<const TRawFrame*>(Frame.get());
        return raw == nullptr || !raw->StopsReaders();
    });
    loadedSubFrames_ = SubFrames.size();
    originalContent_ = body.Data();
    hasOriginal_ = true;
    hasOriginalTail_ = false;
    LoadedVersion = Version;
    ok = ok && WriteFrameHeader(Stream, Version) && WriteOriginal(Stream);
    Stored = true;
    Modified = false;
    return ok;
}

}  // namespace covrilo
