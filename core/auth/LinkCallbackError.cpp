#include "auth/LinkCallbackError.hpp"

namespace quorvel {

LinkCallbackError LinkCallbackError::serverError(std::string errorCode) {
    return LinkCallbackError(Kind::serverError, std::move(errorCode));
}

LinkCallbackError::LinkCallbackError(Kind kind, std::string errorCode) : kind_(kind), errorCode_(std::move(errorCode)) {
    switch (kind_) {
    case Kind::serverError:
        description_ = "link callback: service error " + errorCode_;
        break;
    case Kind::notLinkCallback:
        description_ = "not a link callback";
        break;
    case Kind::stateMismatch:
        description_ = "link callback: state mismatch";
        break;
    case Kind::missingCode:
        description_ = "link callback: no code";
        break;
    }
}

} // namespace quorvel
