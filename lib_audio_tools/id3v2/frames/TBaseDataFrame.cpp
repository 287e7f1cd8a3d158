// SPDX-License-Identifier: MIT
#include "id3v2/frames/TBaseDataFrame.h"

#include <algorithm>

namespace covrilo {

bool TBaseDataFrame::Assign(const TBaseFrame& Source) {
    const auto* other = dynamic_cast<const TBaseDataFrame*>(&Source);
    if (!other) return false;
    if (other != this) {
        Data.Data() = other->Data.Data();
        Data.SetPosition(0);
    }
    Modified = true;
    return true;
}

void TBaseDataFrame::SetData(TStream* Stream) {
    Modified = true;
    if (Stream == &Data) return;
    Data.Clear();
    if (!Stream) return;
    const int64_t position = Stream->Position();
    Stream->SetPosition(0);
    Data.CopyFrom(*Stream, 0);
    Stream->SetPosition(position);
    Data.SetPosition(0);
}

bool TBaseDataFrame::GetData(TStream* Stream) {
    if (!Stream) return false;
    if (Stream != &Data) {
        Stream->SetSize(0);
        Stream->SetPosition(0);
        WriteBytes(*Stream, Data.Data());
    }
    Stream->SetPosition(0);
    Data.SetPosition(0);
    return true;
}

void TBaseDataFrame::ReadData(TStream& Stream, int64_t Count) {
    Data.Clear();
    if (Count > 0) Data.Data() = Stream.ReadBytes(std::min(Count, Stream.Remaining()));
    Data.SetPosition(0);
}

}  // namespace covrilo
