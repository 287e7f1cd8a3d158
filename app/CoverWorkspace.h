// SPDX-License-Identifier: MIT
// Where a run keeps the prepared covers that must not go into "temp.jpg": one per album
// folder, or every prepared cover of a dry run (which leaves the data folder alone). A
// private folder of its own in the system's temporary folder, made on first use and removed,
// with everything in it, when the run ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

namespace covrilo {

class TCoverWorkspace {
   public:
    TCoverWorkspace() = default;
    ~TCoverWorkspace();
    TCoverWorkspace(const TCoverWorkspace&) = delete;
    TCoverWorkspace& operator=(const TCoverWorkspace&) = delete;

    // Writes Bytes into a new file of its own ("cover-1.jpg", "cover-2.jpg", ...) and
    // returns its path. Raises std::system_error.
    std::filesystem::path Add(std::span<const uint8_t> Bytes);
    // Removes a file Add made (a copy no longer needed); any other path is left alone.
    void Remove(const std::filesystem::path& File);
    // The private folder; empty until the first Add.
    const std::filesystem::path& Folder() const { return folder_; }

   private:
    std::filesystem::path folder_;
    int count_ = 0;
};

}  // namespace covrilo
