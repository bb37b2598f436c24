#include "auth/PendingRevokeStore.hpp"

#include "auth/SecureFile.hpp"

#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

namespace quorvel {

namespace {
constexpr std::uintmax_t maxFileSize = 1 << 20;
}

PendingRevokeStore::PendingRevokeStore(const std::filesystem::path &directory)
    : fileURL_(directory / fileName), lockURL_(directory / lockFileName) {}

std::optional<PendingRevoke> PendingRevokeStore::load() const {
    std::lock_guard lock(mutex_);
    return read();
}

FileLock PendingRevokeStore::lockForWrite() const {
    try {
        SecureFile::makeDirectory(lockURL_.parent_path());
        if (auto lock = FileLock::acquire(lockURL_)) return std::move(*lock);
    } catch (const std::exception &) {
        // Without the lock file the write still happens; disk failures are swallowed here.
    }
    return FileLock();
}

std::optional<PendingRevoke> PendingRevokeStore::read() const {
    SecureFile::tighten(fileURL_);
    std::error_code ec;
    auto size = std::filesystem::file_size(fileURL_, ec);
    if (ec || size > maxFileSize) return std::nullopt;
    std::ifstream in(fileURL_, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return decode(text);
}

void PendingRevokeStore::save(const PendingRevoke &value) {
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    if (auto text = encode(value)) SecureFile::write(*text, fileURL_);
}

void PendingRevokeStore::clear() {
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    SecureFile::remove(fileURL_);
}

void PendingRevokeStore::clear(const PendingRevoke &sent) {
    FileLock writing = lockForWrite();
    std::lock_guard lock(mutex_);
    if (read() == sent) SecureFile::remove(fileURL_);
}

std::optional<std::string> PendingRevokeStore::encode(const PendingRevoke &value) {
    nlohmann::json root = {{"refreshToken", value.refreshToken}, {"baseURL", value.baseURL}};
    try {
        return root.dump();
    } catch (const nlohmann::json::exception &) {
        return std::nullopt;
    }
}

std::optional<PendingRevoke> PendingRevokeStore::decode(std::string_view text) {
    auto root = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (!root.is_object()) return std::nullopt;
    auto token = root.find("refreshToken");
    auto base = root.find("baseURL");
    if (token == root.end() || base == root.end() || !token->is_string() || !base->is_string()) return std::nullopt;
    return PendingRevoke{token->get<std::string>(), base->get<std::string>()};
}

} // namespace quorvel
