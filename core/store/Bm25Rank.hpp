#pragma once

#include <cstdint>
#include <optional>
#include <stop_token>

namespace quorvel {

class SQLiteDB;

// FTS5's bm25(), computed the same way to the last bit, but with each row's size in tokens taken
// from a table the caller holds in memory instead of looked up in the index row by row: that
// lookup is most of what ranking a common word costs.
namespace Bm25Rank {

// Row sizes in tokens (all columns), as the index stored them; absent for a row it does not know,
// which then is looked up as bm25() does.
class Sizes {
public:
    virtual ~Sizes() = default;
    virtual std::optional<int> tokens(int64_t rowid) const = 0;
};

// The SQL name: quorvel_bm25(table, weight..., sizes), where `sizes` is a pointer of type
// `sizesType` to a Sizes, and the weights are bm25()'s.
inline constexpr const char *functionName = "quorvel_bm25";
inline constexpr const char *sizesType = "quorvel_sizes";

// Registers the function with the connection's FTS5; false when it has none. While it runs it
// consults `*stop`, and fails with SQLITE_INTERRUPT once a stop is requested.
bool install(SQLiteDB &db, const std::stop_token *stop);

} // namespace Bm25Rank
} // namespace quorvel
