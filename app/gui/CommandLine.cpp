// SPDX-License-Identifier: MIT
#include "app/gui/CommandLine.h"

#include "app/gui/ProgramInfo.h"

namespace covrilo {

TInfoRequest FindInfoRequest(const std::vector<std::string>& Args) {
    for (const std::string& arg : Args) {
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") return TInfoRequest::irHelp;
        if (arg == "--version") return TInfoRequest::irVersion;
    }
    return TInfoRequest::irNone;
}

std::vector<std::filesystem::path> ParseFileArguments(const std::vector<std::string>& Args,
                                                      const std::filesystem::path& WorkingDir) {
    std::vector<std::filesystem::path> files;
    bool optionsEnded = false;
    for (const std::string& arg : Args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg.empty()) continue;
        if (!optionsEnded && arg[0] == '-') {
            throw EUsageError("unknown option '" + arg + "'");
        }
        const std::filesystem::path path(arg);
        files.push_back(path.is_absolute() ? path.lexically_normal()
                                           : (WorkingDir / path).lexically_normal());
    }
    return files;
}

std::string HelpText() {
    return "Usage: covrilo [FILE|FOLDER]...\n"
           "  or:  covrilo --help | --version\n"
           "\n"
           "The window of Covrilo: puts one cover picture into the ID3v2 tags of a list of MP3\n"
           "files, or removes every attached picture from them.\n"
           "\n"
           "Files and folders named on the command line are taken as if they were dropped on\n"
           "the window: the .mp3 files (any case) go into the list, sorted by their full name\n"
           "ignoring case; a folder stands for the .mp3 files in it and in its sub-folders; the\n"
           "first .jpg or .jpeg file is loaded as the picture; anything else is ignored.\n"
           "\n"
           "In the window: load a JPEG picture (\"Load image...\" or drop it), set the largest\n"
           "width and height and the JPEG quality for a picture that has to be scaled down, the\n"
           "ID3v2 version and text encoding and the kind of picture, list MP3 files (\"Add\n"
           "files...\" or drop them or their folders) and press \"Start\". Every file gets OK,\n"
           "Error or Deleted (with \"Remove all images from listed files\" checked); hold the\n"
           "mouse over Error to see why.\n"
           "\n"
           "Options:\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "      --         end of options: every argument after it is a file name\n"
           "The options of Qt (-display, -platform, -style, ...) are accepted too.\n"
           "\n"
           "Files: the settings (settings.xml) and the scaled picture (temp.jpg) are kept in\n"
           "$XDG_CONFIG_HOME/covrilo/ (by default ~/.config/covrilo/), or beside the program\n"
           "when that folder is writable and already holds a settings.xml (portable use).\n"
           "\n"
           "See also: covrilo-cli(1), the same batch run from the command line.\n";
}

std::string VersionText() { return std::string("covrilo ") + kProgramVersion + "\n"; }

}  // namespace covrilo
