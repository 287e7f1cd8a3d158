// SPDX-License-Identifier: MIT
// Preparing the cover picture before a batch run: a picture larger than the limits is
// scaled down (nearest neighbour) and recompressed into "temp.jpg" in the data directory.
// JPEG work goes through libjpeg, which stays out of this header.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

namespace covrilo {

// A picture that cannot be decoded or encoded; the text is libjpeg's own message.
class EJpegError : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
};

struct TScaledSize {
    int Width = 0;
    int Height = 0;
    bool operator==(const TScaledSize&) const = default;
};

// The size a Width x Height picture is scaled to so that it fits MaxWidth x MaxHeight with
// its aspect ratio kept; nothing when it already fits (pictures are never enlarged). The
// ratios are formed in extended precision and rounded half to even; a side that would
// round to 0 becomes 1 pixel.
std::optional<TScaledSize> ComputeScaledSize(int Width, int Height, int MaxWidth, int MaxHeight);

// For every destination index, the source index nearest-neighbour sampling takes:
// trunc(i * (SourceSize / DestSize)), the ratio in single precision and the product in
// extended precision; a destination of 1 takes the middle, (SourceSize - 1) / 2.
std::vector<uint32_t> NearestNeighbourMap(int SourceSize, int DestSize);

// A decoded picture: Width x Height pixels of 8-bit R, G, B, row after row.
struct TRgbImage {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Pixels;
};

// Decodes a JPEG file (colour, grayscale or CMYK) to RGB. Throws EJpegError for damaged or
// truncated data and std::system_error when the file cannot be read.
TRgbImage DecodeJpegFile(const std::filesystem::path& FileName);

// Encodes RGB pixels as a baseline JFIF JPEG with libjpeg's defaults at Quality (1..100).
std::vector<uint8_t> EncodeJpeg(const TRgbImage& Image, int Quality);

// A cover as it goes into the tags.
struct TPreparedCover {
    int SourceWidth = 0, SourceHeight = 0;  // the picture's own size
    int Width = 0, Height = 0;              // the size it is embedded at
    int64_t Bytes = 0;                      // the size of what is embedded
    // The scaled and recompressed copy; empty when the picture fits the limits and is
    // embedded byte for byte.
    std::vector<uint8_t> Scaled;
};

// Checks the picture at ImagePath (a JPEG by its start-of-image marker, FF D8 FF, whatever
// its first segment, that decodes in full) and, when it exceeds MaxWidth or MaxHeight,
// scales it and recompresses it at JpegQuality, in memory. Raises EJpegError for a picture
// that cannot be used, std::system_error when it cannot be read, std::invalid_argument for
// limits below 1.
TPreparedCover PrepareCover(const std::filesystem::path& ImagePath, int MaxWidth, int MaxHeight,
                            int JpegQuality);

// PrepareCover of the JPEG Data (named Name in messages), from memory. SkipRows: the source
// rows that no destination row samples are skipped rather than decoded to pixels; the result
// is the same to the byte (PrepareCover skips them).
TPreparedCover ScaleJpeg(const std::vector<uint8_t>& Data, const std::filesystem::path& Name, int MaxWidth,
                         int MaxHeight, int JpegQuality, bool SkipRows);

// PrepareCover, and a scaled copy written to ExeDir / "temp.jpg" with ImagePath pointed
// there; Prepared, when given, receives what PrepareCover made. Returns whether a scaled
// copy was written. Errors raise as PrepareCover's (or the write's std::system_error);
// ImagePath is then left as it was.
bool PrepareCoverImage(std::filesystem::path& ImagePath, int MaxWidth, int MaxHeight, int JpegQuality,
                       const std::filesystem::path& ExeDir, TPreparedCover* Prepared = nullptr);

}  // namespace covrilo
