#include "ServiceState.hpp"

#include "util/Hashing.hpp"

namespace quorvel::service {

nlohmann::json ServiceState::userJSON() const {
    return {{"id", user.id},
            {"email", user.email},
            {"nickname", user.nickname ? nlohmann::json(*user.nickname) : nlohmann::json(nullptr)}};
}

const std::string &ServiceState::manifestETag() {
    if (cachedLibraryRevision != library.revision() || cachedUserRevision != userRevision) {
        auto listing = library.manifestListing();
        cachedFolders = listing["folders"].dump();
        cachedFiles = listing["files"].dump();
        // Everything in the manifest but the server time: the tag moves exactly when the
        // library, the user or the shell version does.
        std::string basis =
            userJSON().dump() + "\n" + library.shell().version + "\n" + cachedFolders + "\n" + cachedFiles;
        cachedETag = "\"" + Hashing::sha256Hex(std::string_view(basis)).substr(0, 40) + "\"";
        cachedLibraryRevision = library.revision();
        cachedUserRevision = userRevision;
    }
    return cachedETag;
}

std::string ServiceState::withOrigin(const std::string &text) const {
    std::string out = text;
    const std::string token = "{{ORIGIN}}";
    for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at + origin.size()))
        out.replace(at, token.size(), origin);
    return out;
}

} // namespace quorvel::service
