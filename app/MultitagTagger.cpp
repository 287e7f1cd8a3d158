// SPDX-License-Identifier: MIT
#include "app/MultitagTagger.h"

#include <algorithm>

namespace covrilo {

bool TMultitagTagger::Open(const std::filesystem::path& FileName) {
    times_.reset();
    // Taken before the file is read, which may set its access time.
    if (keepTimes_) {
        try {
            times_ = ReadFileTimes(FileName);
        } catch (const EFileError&) {
            // A file that cannot be looked at cannot be opened either; Open says why.
        }
    }
    return Facade.Open(FileName);
}

bool TMultitagTagger::HasPicture(const std::string& PictureType) {
    const std::vector<uint8_t> types = Facade.PictureTypes();
    return std::find(types.begin(), types.end(), Tqmx_multitag::PictureTypeFromName(PictureType)) !=
           types.end();
}

bool TMultitagTagger::KeepTimesAfter(bool Saved) {
    if (!Saved || !keepTimes_ || !times_ || !Facade.LastReport().Written || !Facade.FileIdentity())
        return Saved;
    RestoreFileTimes(Facade.FileName, *times_, *Facade.FileIdentity());
    return true;
}

}  // namespace covrilo
