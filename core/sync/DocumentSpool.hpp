#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quorvel {

// Byte records parked on disk for the length of one sync run, so a large library passes through
// the run without being held in memory: only the returned entries stay behind.
//
// The file has no name from the moment it exists (or from the next instant on systems without
// anonymous files), so it goes away with the spool or with the process, whatever ends the run.
// Not thread-safe: one run appends and reads on its own thread.
class DocumentSpool {
public:
    struct Entry {
        uint64_t offset = 0;
        uint64_t size = 0;

        bool operator==(const Entry &) const = default;
    };

    // Throws std::system_error when no file can be created in `directory`.
    explicit DocumentSpool(const std::filesystem::path &directory);
    ~DocumentSpool();
    DocumentSpool(const DocumentSpool &) = delete;
    DocumentSpool &operator=(const DocumentSpool &) = delete;

    // Throws std::system_error when the disk refuses the bytes.
    Entry append(std::string_view bytes);
    // Throws std::system_error for an entry this spool did not hand out.
    std::string read(const Entry &entry) const;
    uint64_t size() const { return end_; }

private:
    int fd_ = -1;
    uint64_t end_ = 0;
};

} // namespace quorvel
