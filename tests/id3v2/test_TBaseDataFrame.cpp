// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "FrameTestUtil.h"
#include "id3v2/frames/TBaseDataFrame.h"
#include "id3v2/frames/TPRIVFrame.h"
#include "id3v2/frames/TTxxxFrame.h"
#include "id3v2/frames/TUnknownFrame.h"

namespace covrilo {
namespace {

using test::FrameBytes;

TEST(TBaseDataFrame, SetDataCopiesTheWholeSourceAndKeepsItsPosition) {
    TUnknownFrame frame;
    TMemoryStream source{FrameBytes{1, 2, 3, 4, 5}};
    source.SetPosition(3);
    frame.SetData(&source);
    EXPECT_EQ(frame.Data.Data(), (FrameBytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(frame.Data.Position(), 0);
    EXPECT_EQ(source.Position(), 3);
    EXPECT_TRUE(frame.Modified);

    frame.SetData(&frame.Data);  // its own data: unchanged
    EXPECT_EQ(frame.Data.Data(), (FrameBytes{1, 2, 3, 4, 5}));
    frame.SetData(nullptr);
    EXPECT_EQ(frame.Data.Size(), 0);
}

TEST(TBaseDataFrame, GetDataReplacesTheTarget) {
    TUnknownFrame frame;
    frame.Data.Data() = {7, 8, 9};
    frame.Data.SetPosition(2);
    TMemoryStream target{FrameBytes{1, 1, 1, 1, 1, 1}};
    target.SetPosition(4);
    EXPECT_TRUE(frame.GetData(&target));
    EXPECT_EQ(target.Data(), (FrameBytes{7, 8, 9}));
    EXPECT_EQ(target.Position(), 0);
    EXPECT_EQ(frame.Data.Position(), 0);
    EXPECT_FALSE(frame.GetData(nullptr));
}

TEST(TBaseDataFrame, AssignTakesDataFromAnyDataFrame) {
    TPRIVFrame source;
    source.SetOwnerID("owner");
    source.Data.Data() = {1, 2};
    TUnknownFrame target;
    EXPECT_TRUE(target.Assign(source));
    EXPECT_EQ(target.Data.Data(), (FrameBytes{1, 2}));
    EXPECT_TRUE(target.Modified);

    TTxxxFrame text;
    EXPECT_FALSE(target.Assign(text));
}

}  // namespace
}  // namespace covrilo
