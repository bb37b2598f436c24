#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvel::AtomicFile {

// Writes `data` to a fresh temporary name beside `target` (".staging-<name>-XXXXXX"), then renames it
// into place: a reader or a killed process sees no file or the whole file, never a part of it. With
// `durable` the bytes are flushed to disk before the rename, so the name also survives a power loss.
// Throws std::filesystem::error on failure, leaving no temporary file behind.
void write(const std::filesystem::path &target, std::span<const uint8_t> data, mode_t mode, bool durable);

// The whole content of a regular file, not following a symbolic link in the last component; absent
// when there is none or it cannot be read.
std::optional<std::string> read(const std::filesystem::path &path);
// The same for binary content, following links.
std::optional<std::vector<uint8_t>> readBytes(const std::filesystem::path &path);

} // namespace quorvel::AtomicFile
