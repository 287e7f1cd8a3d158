// SPDX-License-Identifier: MIT
#include "DemoCover.h"

#include <jpeglib.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace covrilo::demo {
namespace {

// libjpeg reports fatal errors through a callback that must not return; an exception carries
// the message out instead of the default exit().
[[noreturn]] void ThrowJpegError(j_common_ptr Info) {
    char message[JMSG_LENGTH_MAX];
    (*Info->err->format_message)(Info, message);
    throw std::runtime_error(std::string("libjpeg: ") + message);
}

struct CompressGuard {
    jpeg_compress_struct* Info;
    ~CompressGuard() { jpeg_destroy_compress(Info); }
};

struct MemFree {
    void operator()(unsigned char* P) const { std::free(P); }
};

uint8_t Channel(int Value, int Range) {
    return static_cast<uint8_t>(Value * 255 / (Range > 1 ? Range - 1 : 1));
}

}  // namespace

std::vector<uint8_t> MakeCoverJpeg(int Width, int Height, int Quality) {
    if (Width <= 0 || Height <= 0 || Width > 20000 || Height > 20000)
        throw std::invalid_argument("cover size out of range");
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    errors.error_exit = ThrowJpegError;
    jpeg_create_compress(&info);
    CompressGuard guard{&info};

    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    std::unique_ptr<unsigned char, MemFree> owned;  // takes the buffer once libjpeg is done

    info.image_width = static_cast<JDIMENSION>(Width);
    info.image_height = static_cast<JDIMENSION>(Height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, Quality, TRUE);
    try {
        jpeg_start_compress(&info, TRUE);
        std::vector<uint8_t> row(static_cast<size_t>(Width) * 3);
        for (int y = 0; y < Height; ++y) {
            for (int x = 0; x < Width; ++x) {
                const bool grid = x % 100 < 4 || y % 100 < 4;
                uint8_t* px = &row[static_cast<size_t>(x) * 3];
                px[0] = grid ? 255 : Channel(x, Width);
                px[1] = grid ? 255 : Channel(y, Height);
                px[2] = grid ? 255 : Channel((x + y) / 2, (Width + Height) / 2);
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&info, rows, 1);
        }
        jpeg_finish_compress(&info);
    } catch (...) {
        owned.reset(buffer);
        throw;
    }
    owned.reset(buffer);
    return std::vector<uint8_t>(buffer, buffer + size);
}

}  // namespace covrilo::demo
