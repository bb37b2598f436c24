#include "AppLauncher.hpp"
#include "CliCommands.hpp"

#include "html/HTMLText.hpp"
#include "util/DocumentLink.hpp"
#include "util/ISO8601.hpp"

#include <nlohmann/json.hpp>

#include <ostream>

namespace quorvel::cli {

using nlohmann::json;

namespace {

std::string when(std::optional<double> t) {
    return t ? ISO8601::format(*t) : std::string("never");
}

json summaryJSON(const FileSummary &f) {
    return {{"id", f.id},
            {"folder_id", f.folderId ? json(*f.folderId) : json(nullptr)},
            {"filename", f.filename},
            {"updated_at", ISO8601::format(f.updatedAt)},
            {"file_size", f.fileSize},
            {"content_hash", f.contentHash},
            {"unseen_change", f.hasUnseenChange}};
}

json treeJSON(const std::vector<TreeNode> &nodes) {
    json out = json::array();
    for (const auto &n : nodes) {
        if (const auto *folder = std::get_if<FolderRecord>(&n.kind)) {
            out.push_back({{"type", "folder"},
                           {"id", folder->id},
                           {"name", folder->name},
                           {"children", treeJSON(n.children.value_or(std::vector<TreeNode>{}))}});
        } else {
            json file = summaryJSON(std::get<FileSummary>(n.kind));
            file["type"] = "document";
            out.push_back(std::move(file));
        }
    }
    return out;
}

void printTree(std::ostream &out, const std::vector<TreeNode> &nodes, const std::string &indent) {
    for (const auto &n : nodes) {
        if (const auto *folder = std::get_if<FolderRecord>(&n.kind)) {
            out << indent << folder->name << "/\n";
            printTree(out, n.children.value_or(std::vector<TreeNode>{}), indent + "  ");
        } else {
            const auto &f = std::get<FileSummary>(n.kind);
            out << indent << f.filename << "  [" << f.id << "]" << (f.hasUnseenChange ? " *" : "") << "\n";
        }
    }
}

std::string snippetText(const std::vector<SnippetSegment> &segments, bool mark) {
    std::string text;
    for (const auto &s : segments)
        text += (mark && s.highlighted) ? "[" + s.text + "]" : s.text;
    return text;
}

} // namespace

int runStatus(CliSession &session, const CliOptions &options, CliStreams &io) {
    auto &store = session.store();
    auto &auth = session.auth();
    const bool linked = auth.hasCredentials();
    const auto pending = session.pendingRevoke().load();
    if (options.json) {
        json j = {{"base_url", session.baseURL()},
                  {"store", session.storeDirectory().string()},
                  {"linked", linked},
                  {"email", auth.email() ? json(*auth.email()) : json(nullptr)},
                  {"documents", store.fileCount()},
                  {"storage_bytes", store.storageBytes()},
                  {"last_sync_at", store.lastSyncAt() ? json(ISO8601::format(*store.lastSyncAt())) : json(nullptr)},
                  {"latest_update",
                   store.latestUpdatedAt() ? json(ISO8601::format(*store.latestUpdatedAt())) : json(nullptr)},
                  {"pending_revoke", pending.has_value()},
                  {"rebuilding", store.isRebuilding()}};
        io.out << j.dump(2) << "\n";
        return 0;
    }
    io.out << "service:      " << session.baseURL() << "\n";
    io.out << "library:      " << session.storeDirectory().string() << "\n";
    io.out << "account:      " << (linked ? auth.email().value_or("(linked)") : std::string("not linked")) << "\n";
    io.out << "documents:    " << store.fileCount() << "\n";
    io.out << "storage:      " << store.storageBytes() << " bytes\n";
    io.out << "last sync:    " << when(store.lastSyncAt()) << "\n";
    io.out << "newest edit:  " << when(store.latestUpdatedAt()) << "\n";
    if (pending) io.out << "owed unlink:  yes (sent with the next sync)\n";
    return 0;
}

int runTree(CliSession &session, const CliOptions &options, CliStreams &io) {
    auto nodes = session.store().tree(options.sortByName ? TreeSort::name : TreeSort::updatedDescending);
    if (options.json) {
        io.out << treeJSON(nodes).dump(2) << "\n";
        return 0;
    }
    if (nodes.empty()) io.err << "The library is empty.\n";
    printTree(io.out, nodes, "");
    return 0;
}

int runRecent(CliSession &session, const CliOptions &options, CliStreams &io) {
    auto recent = session.store().recent();
    if (options.json) {
        json out = json::array();
        for (const auto &f : recent)
            out.push_back(summaryJSON(f));
        io.out << out.dump(2) << "\n";
        return 0;
    }
    for (const auto &f : recent)
        io.out << f.id << "\t" << f.filename << "\n";
    return 0;
}

int runSearch(CliSession &session, const CliOptions &options, CliStreams &io) {
    std::vector<SearchResult> results;
    try {
        results = session.store().search(options.query, options.limit);
    } catch (const std::exception &e) {
        throw CliError(std::string("search failed: ") + e.what());
    }
    if (options.json) {
        json out = json::array();
        for (const auto &r : results) {
            json snippet = json::array();
            for (const auto &s : r.snippet)
                snippet.push_back({{"text", s.text}, {"highlighted", s.highlighted}});
            out.push_back({{"id", r.fileId},
                           {"title", r.title},
                           {"folder_path", r.folderPath},
                           {"snippet", snippet},
                           {"updated_at", ISO8601::format(r.updatedAt)}});
        }
        io.out << out.dump(2) << "\n";
        return 0;
    }
    for (const auto &r : results) {
        std::string path;
        for (const auto &p : r.folderPath)
            path += p + "/";
        io.out << r.fileId << "\t" << path << r.title << "\n    " << snippetText(r.snippet, true) << "\n";
    }
    if (results.empty()) io.err << "No documents match.\n";
    return 0;
}

namespace {

int noSuchDocument(int64_t fileId, CliStreams &io) {
    io.err << "quorvel-cli: no document with id " << fileId << " in the library\n";
    return 1;
}

} // namespace

int runShow(CliSession &session, const CliOptions &options, CliStreams &io) {
    auto doc = session.store().document(options.fileId);
    if (!doc) return noSuchDocument(options.fileId, io);
    if (options.showFormat == CliOptions::ShowFormat::html) {
        io.out << doc->renderHTML;
        if (!doc->renderHTML.empty() && doc->renderHTML.back() != '\n') io.out << "\n";
    } else {
        io.out << doc->summary.filename << "\n\n" << HTMLText::extract(doc->content) << "\n";
    }
    // Reading a document here counts as opening it, as in the app.
    session.store().recordView(options.fileId, SyncEngine::systemClock());
    return 0;
}

// The app opens the document (and records the view) itself; this only checks the id first, so
// that a mistyped one is said here and not in a window.
int runOpen(CliSession &session, const CliOptions &options, CliStreams &io) {
    if (!session.store().summary(options.fileId)) return noSuchDocument(options.fileId, io);
    if (auto failure = AppLauncher::open(DocumentLink::make(options.fileId))) {
        io.err << "quorvel-cli: " << *failure << "\n";
        return 1;
    }
    return 0;
}

} // namespace quorvel::cli
