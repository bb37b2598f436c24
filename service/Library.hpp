#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace quorvel::service {

struct LibraryFolder {
    int64_t id = 0;
    std::optional<int64_t> parentId;
    std::string name;
    int64_t orderNum = 0;
};

struct LibraryDocument {
    int64_t id = 0;
    std::optional<int64_t> folderId;
    std::string filename;
    std::string content; // HTML fragment, UTF-8
    double updatedAt = 0;
    std::string contentHash; // kept by Library: SHA-256 of content
};

// Image bytes are either held or made on demand (synthetic libraries can be large).
struct LibraryImage {
    std::string contentType;
    std::function<std::string()> bytes;
};

struct ShellDocument {
    std::string version = "1";
    std::string html;
};

class LibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The user's library as the service holds it: folders, documents, images served from the
// service origin under "/images/", and the document shell. Not thread-safe: the service
// guards it with its state lock.
class Library {
public:
    Library();

    int64_t addFolder(const std::string &name, std::optional<int64_t> parentId, std::optional<int64_t> orderNum = {});
    void renameFolder(int64_t id, const std::string &name);
    void moveFolder(int64_t id, std::optional<int64_t> parentId);
    void setFolderOrder(int64_t id, int64_t orderNum);
    // Removes the folder with everything beneath it; answers how many documents went with it.
    size_t deleteFolder(int64_t id);

    int64_t addDocument(const std::string &filename, std::optional<int64_t> folderId, std::string content,
                        double updatedAt);
    void editDocument(int64_t id, std::string content, double updatedAt);
    void renameDocument(int64_t id, const std::string &filename, double updatedAt);
    void moveDocument(int64_t id, std::optional<int64_t> folderId, double updatedAt);
    void deleteDocument(int64_t id);

    // path is the URL path, starting with "/images/".
    void putImage(const std::string &path, LibraryImage image);
    const LibraryImage *image(const std::string &path) const;
    size_t imageCount() const { return images_.size(); }

    const std::map<int64_t, LibraryFolder> &folders() const { return folders_; }
    const std::map<int64_t, LibraryDocument> &documents() const { return documents_; }
    const LibraryDocument *document(int64_t id) const;
    const LibraryFolder *folder(int64_t id) const;

    const ShellDocument &shell() const { return shell_; }
    void setShell(ShellDocument shell) {
        shell_ = std::move(shell);
        ++revision_;
    }
    // Next integer version; the html gains a marker so the shell visibly differs too.
    std::string bumpShell(std::optional<std::string> html = {});

    // Replaces "{{ORIGIN}}" and "{{ALT_ORIGIN}}" in every document (done once the ports are known).
    void substituteOrigins(const std::string &origin, const std::string &altOrigin);

    // {"folders": [...], "files": [...]} in id order, with content hashes.
    nlohmann::json manifestListing() const;

    static std::string contentHash(const std::string &content);

    // Grows with every change that shows in the manifest or the shell (for caching).
    uint64_t revision() const { return revision_; }

private:
    void requireFolder(std::optional<int64_t> id) const;
    LibraryDocument &mutableDocument(int64_t id);

    std::map<int64_t, LibraryFolder> folders_;
    std::map<int64_t, LibraryDocument> documents_;
    std::map<std::string, LibraryImage> images_;
    ShellDocument shell_;
    int64_t nextFolderId_ = 1;
    int64_t nextDocumentId_ = 1;
    uint64_t revision_ = 0;
};

std::string defaultShellHTML();

} // namespace quorvel::service
