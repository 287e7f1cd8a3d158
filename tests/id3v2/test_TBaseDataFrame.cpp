// SPDX-License-Identifier: MIT
#include "id3v2/frames/TBaseDataFrame.h"

#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"

namespace covrilo {
namespace {

using test::FrameBytes;

TEST(TBaseDataFrame, SetDataCopiesTheWholeSourceAndKeepsItsPosition) {
    TUnknownFrame Frame;
    TMemoryStream Source{FrameBytes{1, 2, 3, 4, 5}};
    Source.SetPosition(3);
    Frame.SetData(&Source);
    EXPECT_EQ(Frame.Data.Data(), (FrameBytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(Frame.Data.Position(), 0);
    EXPECT_EQ(Source.Position(), 3);
    EXPECT_TRUE(Frame.Modified);

    Frame.SetData(&Frame.Data);  // its own data: unchanged
    EXPECT_EQ(Frame.Data.Data(), (FrameBytes{1, 2, 3, 4, 5}));
    Frame.SetData(nullptr);
    EXPECT_EQ(Frame.Data.Size(), 0);
}

TEST(TBaseDataFrame, GetDataReplacesTheTarget) {
    TUnknownFrame Frame;
    Frame.Data.Data() = {7, 8, 9};
    Frame.Data.SetPosition(2);
    TMemoryStream Target{FrameBytes{1, 1, 1, 1, 1, 1}};
    Target.SetPosition(4);
    EXPECT_TRUE(Frame.GetData(&Target));
    EXPECT_EQ(Target.Data(), (FrameBytes{7, 8, 9}));
    EXPECT_EQ(Target.Position(), 0);
    EXPECT_EQ(Frame.Data.Position(), 0);
    EXPECT_FALSE(Frame.GetData(nullptr));
}

TEST(TBaseDataFrame, AssignTakesDataFromAnyDataFrame) {
    TPRIVFrame Source;
    Source.SetOwnerID("owner");
    Source.Data.Data() = {1, 2};
    TUnknownFrame Target;
    EXPECT_TRUE(Target.Assign(Source));
    EXPECT_EQ(Target.Data.Data(), (FrameBytes{1, 2}));
    EXPECT_TRUE(Target.Modified);

    TTxxxFrame Text;
    EXPECT_FALSE(Target.Assign(Text));
}

}  // namespace
}  // namespace covrilo
