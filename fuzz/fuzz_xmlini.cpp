// SPDX-License-Identifier: MIT
// Hostile settings files: every TXMLIni operation over arbitrary lines.
#include "app/XMLINI.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string File = covrilo::fuzz::WriteInput("settings.xml", Data, Size).string();
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
