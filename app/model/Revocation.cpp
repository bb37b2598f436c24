#include "model/Revocation.hpp"

#include "model/Connectivity.hpp"
#include "model/Environment.hpp"
#include "model/Services.hpp"
#include "model/Workers.hpp"

#include "api/CurlTransport.hpp"
#include "api/HTTPAPIClient.hpp"
#include "auth/PendingRevokeStore.hpp"
#include "auth/RevokePending.hpp"

namespace quorvel::app {

Revocation::Revocation(Workers &workers, const Services &services, Connectivity &connectivity,
                       const Environment &environment, QObject *parent)
    : QObject(parent), workers_(workers), connectivity_(connectivity), environment_(environment),
      pending_(services.pendingRevoke) {}

QFuture<void> Revocation::retry() {
    if (isSending_ || !connectivity_.isOnline()) return QtFuture::makeReadyFuture();
    isSending_ = true;
    return workers_.onWorker(
        this,
        [pending = pending_, version = environment_.appVersion, os = environment_.osVersion] {
            auto owed = pending->load();
            if (!owed) return false;
            HTTPAPIClient api(owed->baseURL, version, os, std::make_shared<CurlTransport>());
            // An address that does not parse is refused by the client like any other answer: dropped.
            if (revokePending(*owed, api) != RevokeResult::tryLater) pending->clear(*owed);
            return true;
        },
        [this](bool) { isSending_ = false; });
}

} // namespace quorvel::app
