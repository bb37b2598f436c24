#include "html/UTF8.hpp"
#include "store/LocalStore.hpp"
#include "support/SearchReference.hpp"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

// Input: NUL-separated fields. The first `documents` fields are documents, "title\x1fbody", one
// byte after the body choosing the update time; the rest are queries. Bytes 0xF5 to 0xFF, never
// part of UTF-8, stand for pieces that make hits likely. Bodies are made valid UTF-8, as the text
// extraction always leaves them, and lose Ⱥ and Ⱦ: the tokenizer folds them to longer letters,
// and SQLite's own snippet() then reads past the end of the body, so no reference exists.
// Search answers exactly what its statements, run as written, answer: ids, order and snippets,
// with the full-text index and without.

namespace {

constexpr const char *pieces[] = {"회의록", "회의", "abc",          ". ",   ": ", "aaaa",
                                  "ㅋㅋ",   "Ab",   "\u1112\u116c", "%_\\", "  "};

std::string expand(std::string_view field) {
    std::string out;
    for (char c : field) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0xF5)
            out += pieces[byte - 0xF5];
        else
            out += c;
    }
    return out;
}

struct Library {
    std::filesystem::path dir;
    std::unique_ptr<quorvel::LocalStore> fts, plain;

    Library() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir = pattern;
        fts = std::make_unique<quorvel::LocalStore>(dir / "fts", true);
        plain = std::make_unique<quorvel::LocalStore>(dir / "plain", false);
        if (!fts->hasFTS()) std::abort();
    }
    ~Library() {
        fts.reset();
        plain.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Library library;
    static int64_t lastDocuments = 0;
    if (size < 2 || size > 4096) return 0;
    const int64_t documents = 1 + data[0] % 8;
    const int limit = 1 + data[1] % 100;
    std::string_view rest(reinterpret_cast<const char *>(data + 2), size - 2);
    std::vector<std::string_view> fields;
    for (size_t start = 0; start <= rest.size();) {
        size_t end = std::min(rest.find('\0', start), rest.size());
        fields.push_back(rest.substr(start, end - start));
        start = end + 1;
    }

    quorvel::SyncApplyBatch batch(1, "e", 1);
    for (int64_t id = 1; id <= lastDocuments; ++id)
        batch.deletions.push_back(id);
    for (int64_t id = 1; id <= documents; ++id) {
        std::string_view field = static_cast<size_t>(id - 1) < fields.size() ? fields[id - 1] : "";
        size_t cut = std::min(field.find('\x1f'), field.size());
        std::string title = expand(field.substr(0, cut));
        std::string body = cut < field.size() ? expand(field.substr(cut + 1)) : "";
        double time = 1000;
        if (!body.empty()) {
            time += static_cast<unsigned char>(body.back()) % 4;
            body.pop_back();
        }
        body = quorvel::UTF8::repaired(body);
        for (const char *longer : {"\u023a", "\u023e"}) {
            for (size_t at; (at = body.find(longer)) != std::string::npos;)
                body.replace(at, 2, "A");
        }
        batch.upserts.emplace_back(id, std::nullopt, title, time, 0, "h", "", "", body, std::vector<std::string>{},
                                   false);
    }
    lastDocuments = documents;
    library.fts->apply(batch);
    library.plain->apply(batch);

    for (size_t q = static_cast<size_t>(documents); q < fields.size() && q < static_cast<size_t>(documents) + 4; ++q) {
        std::string query = expand(fields[q]);
        for (auto *store : {library.fts.get(), library.plain.get()}) {
            if (store->search(query, limit) != quorvel::test::referenceSearch(*store, query, limit)) std::abort();
        }
    }
    return 0;
}
