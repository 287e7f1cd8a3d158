// SPDX-License-Identifier: MIT
// Hostile settings files: every TXMLIni operation over arbitrary lines.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "app/XMLINI.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string file = covrilo::fuzz::WriteInput("settings.xml", Data, Size).string();
    try {
        covrilo::TXMLIni ini(file, false);
        std::vector<std::string> names;
        ini.ReadSections(names);
        const std::vector<std::string> sections = names;
        for (const auto& section : sections) {
            std::vector<std::string> keys;
            ini.ReadSection(section, keys);
            ini.ReadSectionValues(section, keys);
            for (const auto& key : keys) {
                (void)ini.ReadString(section, key, "d");
                (void)ini.ReadInteger(section, key, 1);
                (void)ini.ValueExists(section, key);
            }
        }
        ini.WriteInteger("ImageSettings", "MaxX", 123);
        if (ini.ReadInteger("ImageSettings", "MaxX", 0) != 123 &&
            ini.FindSectionLine("/ImageSettings") >= 0 &&
            ini.FindSectionLine("ImageSettings") < ini.FindSectionLine("/ImageSettings")) {
            __builtin_trap();  // a written value must read back when its section is intact
        }
        ini.DeleteKey("ImageSettings", "MaxX");
    } catch (const std::exception&) {
    }
    return 0;
}
