#include "store/Bm25Rank.hpp"

#include "store/SQLiteDB.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace quorvel::Bm25Rank {

namespace {

// Instances walked between two looks at the stop token.
constexpr int64_t stopCheckInstances = 1 << 16;

// What bm25() computes once per query: the average row size and each phrase's weight.
struct QueryData {
    double averageSize = 0;
    std::vector<double> idf;
    std::vector<double> frequency; // per row, reused
};

int countRow(const Fts5ExtensionApi *, Fts5Context *, void *count) {
    ++*static_cast<int64_t *>(count);
    return SQLITE_OK;
}

int queryData(const Fts5ExtensionApi *api, Fts5Context *fts, QueryData **out) {
    auto *data = static_cast<QueryData *>(api->xGetAuxdata(fts, 0));
    if (data) {
        *out = data;
        return SQLITE_OK;
    }
    auto fresh = std::make_unique<QueryData>();
    const int phrases = api->xPhraseCount(fts);
    sqlite3_int64 rows = 0, tokens = 0;
    int rc = api->xRowCount(fts, &rows);
    if (rc == SQLITE_OK) rc = api->xColumnTotalSize(fts, -1, &tokens);
    if (rc == SQLITE_OK) fresh->averageSize = static_cast<double>(tokens) / static_cast<double>(rows);
    for (int i = 0; rc == SQLITE_OK && i < phrases; ++i) {
        int64_t hits = 0;
        rc = api->xQueryPhrase(fts, i, &hits, countRow);
        // Written as bm25() writes it, so that rounding is the same.
        double idf = std::log((static_cast<double>(rows - hits) + 0.5) / (static_cast<double>(hits) + 0.5));
        if (idf <= 0.0) idf = 1e-6;
        fresh->idf.push_back(idf);
    }
    fresh->frequency.resize(static_cast<size_t>(phrases));
    if (rc != SQLITE_OK) return rc;
    QueryData *kept = fresh.release();
    // On failure xSetAuxdata deletes it.
    rc = api->xSetAuxdata(fts, kept, [](void *p) { delete static_cast<QueryData *>(p); });
    if (rc == SQLITE_OK) *out = kept;
    return rc;
}

void rankFunction(const Fts5ExtensionApi *api, Fts5Context *fts, sqlite3_context *context, int count,
                  sqlite3_value **values) {
    constexpr double k1 = 1.2, b = 0.75;
    if (count < 1) {
        sqlite3_result_error(context, "quorvel_bm25() needs the sizes", -1);
        return;
    }
    const auto *sizes = static_cast<const Sizes *>(sqlite3_value_pointer(values[count - 1], sizesType));
    const int weights = count - 1;
    QueryData *data = nullptr;
    int rc = queryData(api, fts, &data);
    // Each phrase's instances in column order, as bm25() adds them up: walking them here costs
    // half of collecting every instance first, and a long row can be stopped in the middle.
    const auto *stop = static_cast<const std::stop_token *>(api->xUserData(fts));
    int64_t walked = 0;
    for (int phrase = 0; rc == SQLITE_OK && phrase < static_cast<int>(data->frequency.size()); ++phrase) {
        double &frequency = data->frequency[static_cast<size_t>(phrase)];
        frequency = 0.0;
        Fts5PhraseIter it{};
        int column = 0, offset = 0;
        for (rc = api->xPhraseFirst(fts, phrase, &it, &column, &offset); rc == SQLITE_OK && column >= 0;
             api->xPhraseNext(fts, &it, &column, &offset)) {
            if (++walked % stopCheckInstances == 0 && stop && stop->stop_requested()) rc = SQLITE_INTERRUPT;
            frequency += weights > column ? sqlite3_value_double(values[column]) : 1.0;
        }
    }
    std::optional<int> known = sizes ? sizes->tokens(api->xRowid(fts)) : std::nullopt;
    int size = known.value_or(0);
    if (rc == SQLITE_OK && !known) rc = api->xColumnSize(fts, -1, &size);
    if (rc != SQLITE_OK) {
        sqlite3_result_error_code(context, rc);
        return;
    }
    const double d = size;
    double score = 0.0;
    for (size_t i = 0; i < data->idf.size(); ++i) {
        const double f = data->frequency[i];
        score += data->idf[i] * ((f * (k1 + 1.0)) / (f + k1 * (1 - b + b * d / data->averageSize)));
    }
    sqlite3_result_double(context, -1.0 * score);
}

} // namespace

bool install(SQLiteDB &db, const std::stop_token *stop) {
    fts5_api *api = db.fts5();
    return api && api->xCreateFunction(api, functionName, const_cast<std::stop_token *>(stop), rankFunction, nullptr) ==
                      SQLITE_OK;
}

} // namespace quorvel::Bm25Rank
