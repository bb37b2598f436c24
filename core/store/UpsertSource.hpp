#pragma once

#include "store/SyncApplyBatch.hpp"

namespace quorvel {

// The documents of a batch too large to hold at once, handed to LocalStore::apply one at a time
// inside its transaction. What a source yields is written after the batch's own `upserts` and
// `renderUpdates`; a source that throws rolls the whole batch back.
class UpsertSource {
public:
    virtual ~UpsertSource() = default;

    // Fills `out` with the next downloaded document; false once there are no more.
    virtual bool nextUpsert(SyncApplyBatch::FileUpsert &out) = 0;
    // Fills `out` with the next re-rendered document; false once there are no more. Asked only
    // after nextUpsert answered false.
    virtual bool nextRenderUpdate(SyncApplyBatch::RenderUpdate &out) = 0;
};

} // namespace quorvel
