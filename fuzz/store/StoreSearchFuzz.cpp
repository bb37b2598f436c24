#include "store/LocalStore.hpp"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

// One small library shared by every input, removed when the process ends.
struct Library {
    std::filesystem::path dir;
    std::unique_ptr<quorvel::LocalStore> store;

    Library() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir = pattern;
        store = std::make_unique<quorvel::LocalStore>(dir, true);
        quorvel::SyncApplyBatch batch(1, "e", 1);
        batch.folders = {{1, std::nullopt, "위", 0}, {2, 1, "아래", 0}};
        const char *bodies[] = {"검색 엔진 \"따옴표\" 100% a_b c\\d", "NEAR(abc def) OR x* ^y -z",
                                "Ünïcödé 本文 テキスト", "동기화 문서 색인 offline reader"};
        for (int id = 1; id <= 4; ++id) {
            batch.upserts.emplace_back(id, id % 3 ? std::optional<int64_t>(id % 3) : std::nullopt,
                                       "제목 " + std::to_string(id), id, 0, "h", "", "", std::string(bodies[id - 1]),
                                       std::vector<std::string>{}, false);
        }
        store->apply(batch);
    }
    ~Library() {
        store.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

} // namespace

// Whatever the user types, search answers without an SQL error, and its snippets hold no
// empty segment: quoting keeps every query out of FTS5 syntax.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static Library library;
    if (size > 2000) return 0;
    std::string_view query(reinterpret_cast<const char *>(data), size);
    try {
        for (const auto &r : library.store->search(query, 20)) {
            for (const auto &s : r.snippet) {
                if (s.text.empty()) std::abort();
            }
        }
    } catch (const std::exception &) {
        std::abort();
    }
    return 0;
}
