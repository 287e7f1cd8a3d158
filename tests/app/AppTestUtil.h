// SPDX-License-Identifier: MIT
// Helpers of the application tests: JPEG fixtures made by an independent encoder (Pillow)
// and read back by it as the oracle.
#pragma once

#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace covrilo::test {

inline const char* kPython = "/usr/bin/python3";

inline bool HavePillow() {
    return HaveTool(kPython) && RunCommand(std::string(kPython) + " -c 'import PIL.Image'").ExitCode == 0;
}

// A Width x Height JPEG in four quadrants: red top left, green top right, blue bottom left,
// white bottom right. Mode is a Pillow mode ("RGB", "L", "CMYK").
inline CommandResult MakeQuadrantJpeg(const std::filesystem::path& File, int Width, int Height,
                                      const std::string& Mode = "RGB", bool Progressive = false) {
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "out, w, h, mode, prog = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4], sys.argv[5] "
        "== '1'\n"
        "im = Image.new('RGB', (w, h), (255, 255, 255))\n"
        "hw, hh = w // 2, h // 2\n"
        "im.paste((255, 0, 0), (0, 0, hw, hh))\n"
        "im.paste((0, 255, 0), (hw, 0, w, hh))\n"
        "im.paste((0, 0, 255), (0, hh, hw, h))\n"
        "im.convert(mode).save(out, 'JPEG', quality=95, progressive=prog)\n";
    return RunCommand(std::string(kPython) + " -c " + ShellQuote(script) + " " + ShellQuote(File.string()) +
                      " " + std::to_string(Width) + " " + std::to_string(Height) + " " + ShellQuote(Mode) +
                      " " + (Progressive ? "1" : "0"));
}

// Pillow's view of a JPEG: "WIDTHxHEIGHT MODE progressive=0|1 jfif=0|1 dc=N".
inline CommandResult DescribeJpeg(const std::filesystem::path& File) {
    const std::string script =
        "import sys\n"
        "from PIL import Image\n"
        "im = Image.open(sys.argv[1]); im.load()\n"
        "print('%dx%d %s progressive=%d jfif=%d dc=%d' % (im.size[0], im.size[1], im.mode,\n"
        "      1 if im.info.get('progressive') or im.info.get('progression') else 0,\n"
        "      1 if 'jfif' in im.info else 0, im.quantization[0][0]), end='')\n";
    return RunCommand(std::string(kPython) + " -c " + ShellQuote(script) + " " + ShellQuote(File.string()));
}

}  // namespace covrilo::test
