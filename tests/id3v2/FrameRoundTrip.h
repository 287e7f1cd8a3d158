// SPDX-License-Identifier: MIT
// Round trip of one frame through every version it can be written in: save it, check the
// size field against the bytes, load the bytes into the frame the factory makes for its
// identifier, compare the values, and write the loaded frame back, unchanged and rendered
// anew from its values: both must give the same bytes again.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

#include "FrameTestUtil.h"
#include "id3v2/ID3v2Class.h"
#include "id3v2/ID3v2KnownFrames.h"

namespace covrilo::test {

// Whether Frame can be written in Version at all: the version is supported, and 2.2 has an
// identifier for it.
inline bool WritableIn(TBaseFrame& Frame, uint16_t Version) {
    const uint8_t bit = Version == ID3V2_VERSION_2_2   ? svID3v22
                        : Version == ID3V2_VERSION_2_3 ? svID3v23
                                                       : svID3v24;
    if ((Frame.GetSupportedVersions() & bit) == 0) return false;
    std::string id22;
    return Version != ID3V2_VERSION_2_2 || ConvertID23To22(Frame.FrameID(), id22);
}

// Describe gives the values of a frame as text (its encoding left out: a save may adjust it).
inline void ExpectRoundTrip(const std::function<std::unique_ptr<TBaseFrame>()>& Make,
                            const std::function<std::string(const TBaseFrame&)>& Describe, uint16_t Version) {
    SCOPED_TRACE("ID3v" + VersionName(Version));
    const std::unique_ptr<TBaseFrame> made = Make();
    const std::string values = Describe(*made);
    const FrameBytes saved = SaveFrame(*made, Version);
    EXPECT_EQ(Describe(*made), values) << "saving changed the values";

    const std::unique_ptr<TBaseFrame> loaded = TID3v2Class::CreateFrame(made->FrameID());
    ASSERT_EQ(typeid(*loaded), typeid(*made)) << "the factory makes another class for " << made->FrameID();
    int64_t end = 0;
    ASSERT_TRUE(LoadFrame(*loaded, saved, Version, &end));
    EXPECT_EQ(end, static_cast<int64_t>(saved.size())) << "the load did not consume exactly the frame";
    EXPECT_EQ(loaded->FrameID(), made->FrameID());
    EXPECT_EQ(Describe(*loaded), values);
    EXPECT_TRUE(loaded->Stored);
    EXPECT_FALSE(loaded->Modified);

    EXPECT_EQ(SaveFrame(*loaded, Version), saved) << "written back as read";
    // Rendered from the parsed values: parsing and rendering must mirror each other.
    loaded->Modified = true;
    EXPECT_EQ(SaveFrame(*loaded, Version), saved) << "rendered anew from the values read";
    EXPECT_EQ(Describe(*loaded), values);
}

}  // namespace covrilo::test
