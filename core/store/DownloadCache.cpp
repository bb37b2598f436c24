#include "store/DownloadCache.hpp"

#include "store/AtomicFile.hpp"
#include "store/LocalStore.hpp"
#include "util/Hashing.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_set>

namespace fs = std::filesystem;

namespace quorvel {

namespace {

constexpr mode_t directoryMode = 0700;
constexpr mode_t fileMode = 0600;

std::span<const uint8_t> bytesOf(std::string_view text) {
    return {reinterpret_cast<const uint8_t *>(text.data()), text.size()};
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

DownloadCache::DownloadCache(fs::path directory) : directory_(std::move(directory)) {}

std::string DownloadCache::documentName(int64_t id, std::string_view sha256) {
    return std::to_string(id) + "-" + std::string(sha256);
}

// Owner-only from the moment it exists; a directory someone else loosened is tightened, and anything
// that is not a plain directory (a symbolic link, say) is not used.
bool DownloadCache::ensureDirectory(const fs::path &path) const {
    if (::mkdir(path.c_str(), directoryMode) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    if ((info.st_mode & 077) != 0 && ::chmod(path.c_str(), directoryMode) != 0) return false;
    return true;
}

void DownloadCache::bindAccount(int64_t userId) {
    std::lock_guard guard(mutex_);
    const std::string account = std::to_string(userId);
    if (AtomicFile::read(accountFile()) == account) return;
    std::error_code ec;
    fs::remove_all(directory_, ec);
    if (ec || !ensureDirectory(directory_)) return;
    try {
        AtomicFile::write(accountFile(), bytesOf(account), fileMode, false);
    } catch (const fs::filesystem_error &) {
        // Unbound, the next run clears the cache again.
    }
}

void DownloadCache::putDocument(int64_t id, std::string_view sha256, std::string_view content) {
    if (!LocalStore::isAssetHash(sha256)) return;
    std::lock_guard guard(mutex_);
    if (!ensureDirectory(directory_) || !ensureDirectory(documentsDirectory())) return;
    try {
        AtomicFile::write(documentsDirectory() / documentName(id, sha256), bytesOf(content), fileMode, false);
    } catch (const fs::filesystem_error &) {
        // The document is downloaded again should this run not finish.
    }
}

std::optional<std::string> DownloadCache::document(int64_t id, std::string_view sha256) {
    if (!LocalStore::isAssetHash(sha256)) return std::nullopt;
    std::lock_guard guard(mutex_);
    const fs::path path = documentsDirectory() / documentName(id, sha256);
    auto content = AtomicFile::read(path);
    if (!content) return std::nullopt;
    if (Hashing::sha256Hex(std::string_view(*content)) != sha256) {
        std::error_code ec;
        fs::remove(path, ec);
        return std::nullopt;
    }
    return content;
}

void DownloadCache::keepDocuments(const std::vector<std::pair<int64_t, std::string>> &wanted) {
    std::unordered_set<std::string> names;
    for (const auto &[id, sha256] : wanted)
        names.insert(documentName(id, sha256));
    std::lock_guard guard(mutex_);
    std::error_code ec;
    std::vector<fs::path> unwanted;
    for (fs::directory_iterator it(documentsDirectory(), ec), end; !ec && it != end; it.increment(ec))
        if (!names.count(it->path().filename().string())) unwanted.push_back(it->path());
    for (const auto &path : unwanted)
        fs::remove(path, ec);
}

std::optional<std::string> DownloadCache::imageLine(std::string_view url, std::string_view sha256) {
    if (!LocalStore::isAssetHash(sha256) || url.empty() ||
        url.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        return std::nullopt;
    std::string line;
    line.reserve(sha256.size() + url.size() + 2);
    line.append(sha256).append(" ").append(url).append("\n");
    return line;
}

std::vector<DownloadCache::StagedImage> DownloadCache::parseImages(std::string_view text) {
    std::vector<StagedImage> images;
    for (size_t end = text.find('\n'); end != std::string_view::npos; end = text.find('\n')) {
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line.size() < 66 || line[64] != ' ') continue;
        std::string_view sha256 = line.substr(0, 64), url = line.substr(65);
        // A carriage return marks a torn line, and no URL holds a NUL (the zeros of a write a power
        // loss cut short).
        if (!LocalStore::isAssetHash(sha256) ||
            url.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos)
            continue;
        images.push_back({std::string(url), std::string(sha256)});
    }
    return images;
}

void DownloadCache::recordImage(std::string_view url, std::string_view sha256) {
    auto line = imageLine(url, sha256);
    if (!line) return;
    std::lock_guard guard(mutex_);
    if (!ensureDirectory(directory_)) return;
    int fd = ::open(imagesFile().c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, fileMode);
    if (fd < 0) return;
    // A line torn by a killed process is ended with a mark that makes it malformed, so that neither it
    // nor this one can be read as something else.
    struct stat info {};
    char last = '\n';
    if (::fstat(fd, &info) == 0 && info.st_size > 0 && ::pread(fd, &last, 1, info.st_size - 1) == 1 && last != '\n')
        line->insert(0, "\r\n");
    writeAll(fd, *line);
    ::close(fd);
}

std::vector<DownloadCache::StagedImage> DownloadCache::stagedImages() const {
    std::lock_guard guard(mutex_);
    auto text = AtomicFile::read(imagesFile());
    return text ? parseImages(*text) : std::vector<StagedImage>{};
}

void DownloadCache::keepImages(const std::vector<StagedImage> &images) {
    std::string text;
    for (const auto &image : images)
        if (auto line = imageLine(image.url, image.sha256)) text += *line;
    std::lock_guard guard(mutex_);
    std::error_code ec;
    if (text.empty()) {
        fs::remove(imagesFile(), ec);
        return;
    }
    if (!ensureDirectory(directory_)) return;
    try {
        AtomicFile::write(imagesFile(), bytesOf(text), fileMode, false);
    } catch (const fs::filesystem_error &) {
        // The old record stays: it names more than needed, never less.
    }
}

void DownloadCache::clear() {
    std::lock_guard guard(mutex_);
    fs::remove_all(directory_);
}

bool DownloadCache::isEmpty() const {
    std::error_code ec;
    if (!fs::exists(directory_, ec)) return true;
    if (!stagedImages().empty()) return false;
    return !fs::exists(documentsDirectory(), ec) || fs::is_empty(documentsDirectory(), ec);
}

} // namespace quorvel
