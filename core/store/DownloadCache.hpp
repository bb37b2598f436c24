#pragma once

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel {

// What a sync run downloaded but has not applied yet, kept so that a run that ends early (cancelled,
// failed, killed) leaves its work to the next one. None of it is library: the library changes only
// when a whole batch is applied, and the cache is emptied once one has been.
//
// Layout, owner-only (directories 0700, files 0600):
//   account                   the user id the material was downloaded for
//   documents/<id>-<sha256>   a verified document's HTML, named by its id and content hash
//   images                    one line "<sha256> <url>" per image file staged in the store's assets
//                             directory, appended as each one arrives
//
// Untrusted when read back: a document must still hash to its name, and a malformed or torn line is
// ignored; whoever reuses an image checks its file. Writes are best effort: an entry that cannot be
// written only costs a download later. Thread-safe.
class DownloadCache {
public:
    static constexpr const char *directoryName = "download-cache";

    struct StagedImage {
        std::string url;
        std::string sha256;

        bool operator==(const StagedImage &) const = default;
    };

    explicit DownloadCache(std::filesystem::path directory);
    DownloadCache(const DownloadCache &) = delete;
    DownloadCache &operator=(const DownloadCache &) = delete;

    const std::filesystem::path &directory() const { return directory_; }

    // Empties the cache when it was filled for another account (or for none known), then records this one.
    void bindAccount(int64_t userId);

    // Keeps a document whose content was verified against `sha256` (lower-case hex; anything else is
    // not kept).
    void putDocument(int64_t id, std::string_view sha256, std::string_view content);
    // The kept content of that version of the document when its bytes still match the hash; an entry
    // that does not is removed.
    std::optional<std::string> document(int64_t id, std::string_view sha256);
    // Removes every document entry, and every leftover of an interrupted write, not named in `wanted`.
    void keepDocuments(const std::vector<std::pair<int64_t, std::string>> &wanted);

    // Records that the image fetched from `url` is staged under `sha256`. Flushed to the kernel at
    // once, so it survives the process being killed.
    void recordImage(std::string_view url, std::string_view sha256);
    // The recorded images, in recording order, malformed lines left out.
    std::vector<StagedImage> stagedImages() const;
    // Replaces the record with exactly these images.
    void keepImages(const std::vector<StagedImage> &images);

    // Removes everything. Throws std::filesystem::filesystem_error when something cannot be removed.
    void clear();
    bool isEmpty() const;

    // The lines of an image record that are whole and well formed.
    static std::vector<StagedImage> parseImages(std::string_view text);
    // One record line, or absent when the pair cannot be written as one.
    static std::optional<std::string> imageLine(std::string_view url, std::string_view sha256);

private:
    std::filesystem::path documentsDirectory() const { return directory_ / "documents"; }
    std::filesystem::path imagesFile() const { return directory_ / "images"; }
    std::filesystem::path accountFile() const { return directory_ / "account"; }
    static std::string documentName(int64_t id, std::string_view sha256);
    bool ensureDirectory(const std::filesystem::path &path) const;

    std::filesystem::path directory_;
    mutable std::mutex mutex_;
};

} // namespace quorvel
