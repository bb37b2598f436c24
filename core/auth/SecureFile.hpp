#pragma once

#include <filesystem>
#include <string_view>

// Writes the small files that hold credentials: owner-only from the moment they exist,
// replaced atomically, excluded from backups.
namespace quorvel::SecureFile {

// Name and value of the extended attribute that asks backup tools to skip a file.
inline constexpr const char *backupExclusionAttribute = "user.xdg.robots.backup";
inline constexpr std::string_view backupExclusionValue = "false";

// Creates the directory (mode 0700, with any missing parents), writes `data` to a new 0600 file
// beside `file`, flushes it and renames it over `file`. True when the data reached `file`;
// on false the previous content of `file` is untouched and no temporary file is left behind.
bool write(std::string_view data, const std::filesystem::path &file);

// Creates the directory (mode 0700, with any missing parents) when it does not exist; failures are
// ignored.
void makeDirectory(const std::filesystem::path &dir);

// Takes group and other permissions away from an existing file (to 0600) and its directory (to
// 0700), as a copy or a restore from backup may have left them. Symbolic links are not followed;
// failures are ignored.
void tighten(const std::filesystem::path &file);

// Deletes the file; a missing file or any other failure is ignored.
void remove(const std::filesystem::path &file);

} // namespace quorvel::SecureFile
