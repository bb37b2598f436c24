#include "LibraryLoader.hpp"

#include "util/ISO8601.hpp"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>

namespace quorvel::service {

namespace fs = std::filesystem;

namespace {

std::string readAll(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw LibraryError("cannot read " + path.string());
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trim(const std::string &s) {
    auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    auto e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

double modificationTime(const fs::path &path) {
    auto t = fs::last_write_time(path);
    auto sys = std::chrono::file_clock::to_sys(t);
    return static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(sys.time_since_epoch()).count());
}

// Entries of one folder in the wanted order.
std::vector<fs::directory_entry> orderedEntries(const fs::path &dir) {
    std::vector<fs::directory_entry> entries;
    for (const auto &e : fs::directory_iterator(dir)) {
        auto name = e.path().filename().string();
        if (name.empty() || name[0] == '.' || name[0] == '_') continue;
        entries.push_back(e);
    }
    std::map<std::string, size_t> rank;
    if (fs::exists(dir / "_order.txt")) {
        std::istringstream lines(readAll(dir / "_order.txt"));
        std::string line;
        while (std::getline(lines, line)) {
            line = trim(line);
            if (!line.empty() && !rank.contains(line)) rank.emplace(line, rank.size());
        }
    }
    auto key = [&](const fs::directory_entry &e) {
        auto name = e.path().filename().string();
        auto it = rank.find(name);
        if (it == rank.end()) it = rank.find(e.path().stem().string());
        return std::make_pair(it == rank.end() ? rank.size() : it->second, name);
    };
    std::sort(entries.begin(), entries.end(), [&](const auto &a, const auto &b) { return key(a) < key(b); });
    return entries;
}

void loadImages(Library &library, const fs::path &root, const fs::path &dir) {
    for (const auto &entry : fs::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        std::string type = LibraryLoader::contentTypeFor(entry.path());
        if (type.empty()) continue;
        auto bytes = std::make_shared<const std::string>(readAll(entry.path()));
        library.putImage("/images/" + fs::relative(entry.path(), root).generic_string(),
                         LibraryImage{type, [bytes] { return *bytes; }});
    }
}

using UpdateTimes = std::map<std::string, double>;
// Document ids by path relative to the root ("folder/name.html").
using DocumentIds = std::map<std::string, int64_t>;

// "_updated.txt" at the root: "relative/path.html<TAB>ISO 8601 time" a line, so a checked-out
// library keeps its dates instead of the checkout's.
UpdateTimes readUpdateTimes(const fs::path &root) {
    UpdateTimes times;
    if (!fs::exists(root / "_updated.txt")) return times;
    std::istringstream lines(readAll(root / "_updated.txt"));
    std::string line;
    while (std::getline(lines, line)) {
        auto tab = line.find('\t');
        if (tab == std::string::npos) continue;
        if (auto t = quorvel::ISO8601::parse(trim(line.substr(tab + 1)))) times[trim(line.substr(0, tab))] = *t;
    }
    return times;
}

void loadFolder(Library &library, const fs::path &root, const fs::path &dir, std::optional<int64_t> folderId,
                const UpdateTimes &times, DocumentIds &ids) {
    for (const auto &entry : fs::directory_iterator(dir)) {
        auto name = entry.path().filename().string();
        if (entry.is_directory() && name.size() > 1 && name[0] == '_') loadImages(library, root, entry.path());
    }
    int64_t order = 0;
    for (const auto &entry : orderedEntries(dir)) {
        const auto &path = entry.path();
        if (entry.is_directory()) {
            int64_t id = library.addFolder(path.filename().string(), folderId, order++);
            loadFolder(library, root, path, id, times, ids);
            continue;
        }
        if (!entry.is_regular_file()) continue;
        auto ext = lower(path.extension().string());
        if (ext == ".html" || ext == ".htm") {
            std::string content = readAll(path);
            std::string title = LibraryLoader::titleOf(content);
            if (title.empty()) title = path.stem().string();
            const std::string relative = fs::relative(path, root).generic_string();
            auto known = times.find(relative);
            ids[relative] = library.addDocument(title, folderId, std::move(content),
                                                known != times.end() ? known->second : modificationTime(path));
            continue;
        }
        std::string type = LibraryLoader::contentTypeFor(path);
        if (type.empty()) continue;
        auto bytes = std::make_shared<const std::string>(readAll(path));
        library.putImage("/images/" + fs::relative(path, root).generic_string(),
                         LibraryImage{type, [bytes] { return *bytes; }});
    }
}

// "{{ID:folder/name.html}}" becomes that document's id; a path that names none is an error, so a
// library cannot ship a link that leads nowhere by mistake.
void fillDocumentIds(Library &library, const DocumentIds &ids) {
    static const std::string open = "{{ID:";
    for (const auto &[id, document] : library.documents()) {
        std::string content = document.content;
        bool changed = false;
        for (size_t at = content.find(open); at != std::string::npos; at = content.find(open, at)) {
            const size_t close = content.find("}}", at);
            if (close == std::string::npos) throw LibraryError("unclosed {{ID: in " + document.filename);
            const std::string path = content.substr(at + open.size(), close - at - open.size());
            auto named = ids.find(path);
            if (named == ids.end()) throw LibraryError("no document " + path + " for " + document.filename);
            const std::string value = std::to_string(named->second);
            content.replace(at, close + 2 - at, value);
            at += value.size();
            changed = true;
        }
        if (changed) library.editDocument(id, content, document.updatedAt);
    }
}

} // namespace

std::string LibraryLoader::contentTypeFor(const fs::path &path) {
    static const std::map<std::string, std::string> types{
        {".png", "image/png"}, {".jpg", "image/jpeg"},    {".jpeg", "image/jpeg"},
        {".gif", "image/gif"}, {".svg", "image/svg+xml"}, {".webp", "image/webp"},
    };
    auto it = types.find(lower(path.extension().string()));
    return it == types.end() ? std::string() : it->second;
}

std::string LibraryLoader::titleOf(const std::string &html) {
    std::string low = lower(html);
    auto open = low.find("<title");
    if (open == std::string::npos) return "";
    auto start = low.find('>', open);
    if (start == std::string::npos) return "";
    auto end = low.find("</title", start);
    if (end == std::string::npos) return "";
    return trim(html.substr(start + 1, end - start - 1));
}

Library LibraryLoader::load(const fs::path &root) {
    if (!fs::is_directory(root)) throw LibraryError("not a folder: " + root.string());
    Library library;
    DocumentIds ids;
    loadFolder(library, root, root, std::nullopt, readUpdateTimes(root), ids);
    fillDocumentIds(library, ids);
    if (fs::exists(root / "_shell.html")) library.setShell(ShellDocument{"1", readAll(root / "_shell.html")});
    return library;
}

} // namespace quorvel::service
