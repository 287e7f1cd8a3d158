// SPDX-License-Identifier: MIT
// The batch run's tagger over the multi-format facade, as both hosts set it up: MPEG files
// read and written as ID3v1 + ID3v2.
#pragma once

#include <cstdint>
#include <optional>

#include "app/BatchRun.h"
#include "app/FileTimes.h"
#include "io/EnhancedStreams.h"
#include "io/SaveBatch.h"
#include "multitag/qmx_multitag.h"

namespace covrilo {

class TMultitagTagger : public IBatchTagger {
   public:
    TMultitagTagger() {
        Facade.SetMpegReadTags(tsID3v1ID3v2);
        Facade.SetMpegWriteTags(tsID3v1ID3v2);
        Facade.SetSaveBatch(&Batch);
    }
    bool Open(const std::filesystem::path& FileName) override;
    void AddPicture(const std::filesystem::path& PictureFile, const std::string& PictureType) override {
        Facade.AddPicture(TPic{PictureFile, PictureType, ""});
    }
    bool Save() override { return KeepTimesAfter(Facade.Save()); }
    bool RemoveAllPictures() override { return KeepTimesAfter(Facade.RemoveAllPictures()); }
    void Close() override {
        Facade.Close();
        times_.reset();
    }
    std::string LastError() override { return Facade.LastError(); }
    uint64_t PendingSave() override { return Facade.PendingSave(); }
    std::vector<TFinishedSave> FinishedSaves(bool Wait) override {
        if (Wait) Batch.Flush();
        std::vector<TFinishedSave> out;
        for (const TSaveBatch::TOutcome& outcome : Batch.TakeOutcomes()) {
            TFinishedSave done{outcome.Id, !outcome.Error, {}};
            if (outcome.Error) {
                try {
                    std::rethrow_exception(outcome.Error);
                } catch (const std::exception& e) {
                    done.Reason = ErrorReason(e);
                } catch (...) {
                    done.Reason = "the file could not be saved";
                }
            }
            out.push_back(std::move(done));
        }
        return out;
    }
    // A dry run plans every save without writing it (see Tqmx_multitag::PlanOnly).
    void BeginRun(const TBatchOptions& Options) override {
        Facade.PlanOnly = Options.DryRun;
        keepTimes_ = Options.KeepTimes && !Options.DryRun;
        // Times are given back right after each save, which needs the save finished then:
        // a run that keeps them saves file by file (a dry run plans as its run would save).
        Facade.SetSaveBatch(Options.KeepTimes ? nullptr : &Batch);
    }
    bool HasPicture(const std::string& PictureType) override;
    TSaveReport LastReport() override { return Facade.LastReport(); }

    // The ID3v2 version and text encoding chosen as the setting TextEncoding: 0 "Id3v2.3
    // ISO-8859-1", 1 "Id3v2.3 UTF-16", 2 "Id3v2.4 UTF-8"; any other value leaves the facade's
    // format as it is.
    void ApplyTextEncoding(int32_t Encoding) {
        if (Encoding >= 0 && Encoding <= 2) Facade.ID3v2Format = static_cast<uint8_t>(Encoding);
    }

    // The run's saves, made durable a few files at a time (declared first: it outlives the
    // facade that hands saves to it).
    TSaveBatch Batch;
    // ID3v2Format and the other settings are set on the facade directly.
    Tqmx_multitag Facade;

   private:
    // After a save that wrote the file: its times back, when the run keeps them. Raises
    // when they cannot be (the file is saved then, and says so).
    bool KeepTimesAfter(bool Saved);

    bool keepTimes_ = false;
    std::optional<TFileTimes> times_;  // the open file's times before anything read it
};

}  // namespace covrilo
