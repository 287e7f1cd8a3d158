// SPDX-License-Identifier: MIT
// Hostile settings files: every TXMLIni operation over arbitrary lines.
#include "app/XMLINI.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

// Memory-backed when available: every run writes a file (and TXMLIni syncs it).
static std::string ScratchDir() {
    std::error_code Ec;
    if (std::filesystem::is_directory("/dev/shm", Ec)) return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    static const std::string File = ScratchDir() + "/fuzz_xmlini." + std::to_string(::getpid()) + ".xml";
    {
        std::ofstream Out(File, std::ios::binary | std::ios::trunc);
        Out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    }
    try {
        covrilo::TXMLIni Ini(File, false);
        std::vector<std::string> Names;
        Ini.ReadSections(Names);
        const std::vector<std::string> Sections = Names;
        for (const auto& Section : Sections) {
            std::vector<std::string> Keys;
            Ini.ReadSection(Section, Keys);
            Ini.ReadSectionValues(Section, Keys);
            for (const auto& Key : Keys) {
                (void)Ini.ReadString(Section, Key, "d");
                (void)Ini.ReadInteger(Section, Key, 1);
                (void)Ini.ValueExists(Section, Key);
            }
        }
        Ini.WriteInteger("ImageSettings", "MaxX", 123);
        if (Ini.ReadInteger("ImageSettings", "MaxX", 0) != 123 && Ini.FindSectionLine("/ImageSettings") >= 0 &&
            Ini.FindSectionLine("ImageSettings") < Ini.FindSectionLine("/ImageSettings")) {
            __builtin_trap();  // a written value must read back when its section is intact
        }
        Ini.DeleteKey("ImageSettings", "MaxX");
    } catch (const std::exception&) {
    }
    return 0;
}
