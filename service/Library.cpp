#include "Library.hpp"

#include "util/Hashing.hpp"
#include "util/ISO8601.hpp"

#include <algorithm>
#include <set>

namespace quorvel::service {

namespace {

void replaceAll(std::string &text, const std::string &from, const std::string &to) {
    if (from.empty()) return;
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

nlohmann::json optionalId(const std::optional<int64_t> &id) {
    return id ? nlohmann::json(*id) : nlohmann::json(nullptr);
}

} // namespace

std::string defaultShellHTML() {
    return R"(<!DOCTYPE html>
<html lang="ko">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<style>
:root { color-scheme: light dark; }
body { margin: 0; font-family: "Noto Sans CJK KR", "Apple SD Gothic Neo", sans-serif; line-height: 1.7; color: #1f2328; }
article.quorvel-document { max-width: 760px; margin: 0 auto; padding: 32px 28px 64px; }
article.quorvel-document img { max-width: 100%; height: auto; }
article.quorvel-document table { border-collapse: collapse; }
article.quorvel-document th, article.quorvel-document td { border: 1px solid #d0d7de; padding: 6px 10px; }
article.quorvel-document pre { background: #f6f8fa; padding: 12px; overflow-x: auto; }
@media (prefers-color-scheme: dark) {
  body { background: #1b1d21; color: #e6e8eb; }
  article.quorvel-document a { color: #7aa7ff; }
  article.quorvel-document th, article.quorvel-document td { border-color: #3d444d; }
  article.quorvel-document pre { background: #262a30; }
}
</style>
</head>
<body>
<article class="quorvel-document">{{CONTENT}}</article>
</body>
</html>
)";
}

Library::Library() {
    shell_.html = defaultShellHTML();
}

std::string Library::contentHash(const std::string &content) {
    return Hashing::sha256Hex(std::string_view(content));
}

void Library::requireFolder(std::optional<int64_t> id) const {
    if (id && !folders_.contains(*id)) throw LibraryError("no folder " + std::to_string(*id));
}

const LibraryDocument *Library::document(int64_t id) const {
    auto it = documents_.find(id);
    return it == documents_.end() ? nullptr : &it->second;
}

const LibraryFolder *Library::folder(int64_t id) const {
    auto it = folders_.find(id);
    return it == folders_.end() ? nullptr : &it->second;
}

LibraryDocument &Library::mutableDocument(int64_t id) {
    auto it = documents_.find(id);
    if (it == documents_.end()) throw LibraryError("no document " + std::to_string(id));
    return it->second;
}

int64_t Library::addFolder(const std::string &name, std::optional<int64_t> parentId, std::optional<int64_t> orderNum) {
    requireFolder(parentId);
    if (!orderNum) {
        int64_t next = 0;
        for (const auto &[_, f] : folders_)
            if (f.parentId == parentId) next = std::max(next, f.orderNum + 1);
        orderNum = next;
    }
    int64_t id = nextFolderId_++;
    folders_[id] = LibraryFolder{id, parentId, name, *orderNum};
    ++revision_;
    return id;
}

void Library::renameFolder(int64_t id, const std::string &name) {
    auto it = folders_.find(id);
    if (it == folders_.end()) throw LibraryError("no folder " + std::to_string(id));
    it->second.name = name;
    ++revision_;
}

void Library::moveFolder(int64_t id, std::optional<int64_t> parentId) {
    auto it = folders_.find(id);
    if (it == folders_.end()) throw LibraryError("no folder " + std::to_string(id));
    requireFolder(parentId);
    // A folder cannot move beneath itself: walk up from the new parent.
    for (auto p = parentId; p; p = folders_.at(*p).parentId)
        if (*p == id) throw LibraryError("a folder cannot move into itself");
    it->second.parentId = parentId;
    ++revision_;
}

void Library::setFolderOrder(int64_t id, int64_t orderNum) {
    auto it = folders_.find(id);
    if (it == folders_.end()) throw LibraryError("no folder " + std::to_string(id));
    it->second.orderNum = orderNum;
    ++revision_;
}

size_t Library::deleteFolder(int64_t id) {
    if (!folders_.contains(id)) throw LibraryError("no folder " + std::to_string(id));
    std::set<int64_t> doomed{id};
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto &[fid, f] : folders_)
            if (f.parentId && doomed.contains(*f.parentId) && doomed.insert(fid).second) grew = true;
    }
    size_t removed = 0;
    for (auto it = documents_.begin(); it != documents_.end();) {
        if (it->second.folderId && doomed.contains(*it->second.folderId)) {
            it = documents_.erase(it);
            ++removed;
        } else {
            ++it;
        }
    }
    for (int64_t fid : doomed)
        folders_.erase(fid);
    ++revision_;
    return removed;
}

int64_t Library::addDocument(const std::string &filename, std::optional<int64_t> folderId, std::string content,
                             double updatedAt) {
    requireFolder(folderId);
    int64_t id = nextDocumentId_++;
    std::string hash = contentHash(content);
    documents_[id] = LibraryDocument{id, folderId, filename, std::move(content), updatedAt, std::move(hash)};
    ++revision_;
    return id;
}

void Library::editDocument(int64_t id, std::string content, double updatedAt) {
    auto &doc = mutableDocument(id);
    doc.content = std::move(content);
    doc.contentHash = contentHash(doc.content);
    doc.updatedAt = updatedAt;
    ++revision_;
}

void Library::renameDocument(int64_t id, const std::string &filename, double updatedAt) {
    auto &doc = mutableDocument(id);
    doc.filename = filename;
    doc.updatedAt = updatedAt;
    ++revision_;
}

void Library::moveDocument(int64_t id, std::optional<int64_t> folderId, double updatedAt) {
    requireFolder(folderId);
    auto &doc = mutableDocument(id);
    doc.folderId = folderId;
    doc.updatedAt = updatedAt;
    ++revision_;
}

void Library::deleteDocument(int64_t id) {
    if (documents_.erase(id) == 0) throw LibraryError("no document " + std::to_string(id));
    ++revision_;
}

void Library::putImage(const std::string &path, LibraryImage image) {
    images_[path] = std::move(image);
}

const LibraryImage *Library::image(const std::string &path) const {
    auto it = images_.find(path);
    return it == images_.end() ? nullptr : &it->second;
}

std::string Library::bumpShell(std::optional<std::string> html) {
    int64_t current = 0;
    try {
        current = std::stoll(shell_.version);
    } catch (const std::exception &) {
        current = 0;
    }
    shell_.version = std::to_string(current + 1);
    ++revision_;
    if (html) {
        shell_.html = *html;
    } else {
        std::string marker = "<meta name=\"quorvel-shell\" content=\"" + shell_.version + "\">";
        auto at = shell_.html.find("<meta name=\"quorvel-shell\"");
        if (at != std::string::npos) {
            auto end = shell_.html.find('>', at);
            shell_.html.replace(at, end - at + 1, marker);
        } else if (auto head = shell_.html.find("</head>"); head != std::string::npos) {
            shell_.html.insert(head, marker + "\n");
        } else {
            shell_.html = marker + shell_.html;
        }
    }
    return shell_.version;
}

void Library::substituteOrigins(const std::string &origin, const std::string &altOrigin) {
    for (auto &[_, doc] : documents_) {
        replaceAll(doc.content, "{{ALT_ORIGIN}}", altOrigin);
        replaceAll(doc.content, "{{ORIGIN}}", origin);
        doc.contentHash = contentHash(doc.content);
    }
    ++revision_;
}

nlohmann::json Library::manifestListing() const {
    auto folders = nlohmann::json::array();
    for (const auto &[id, f] : folders_)
        folders.push_back(
            {{"id", id}, {"parent_id", optionalId(f.parentId)}, {"name", f.name}, {"order_num", f.orderNum}});
    auto files = nlohmann::json::array();
    for (const auto &[id, d] : documents_)
        files.push_back({{"id", id},
                         {"folder_id", optionalId(d.folderId)},
                         {"filename", d.filename},
                         {"updated_at", ISO8601::format(d.updatedAt)},
                         {"file_size", static_cast<int64_t>(d.content.size())},
                         {"content_hash", d.contentHash}});
    return {{"folders", std::move(folders)}, {"files", std::move(files)}};
}

} // namespace quorvel::service
