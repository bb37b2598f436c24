#include "model/LinkCoordinator.hpp"

#include "auth/LinkCallbackError.hpp"
#include "auth/LinkCallbackParser.hpp"
#include "auth/LinkURL.hpp"

namespace quorvel::app {

LinkCoordinator::LinkCoordinator(UrlOpener openUrl, QObject *parent) : QObject(parent), openUrl_(std::move(openUrl)) {}

void LinkCoordinator::start(const std::string &baseURL, const std::string &deviceName, Completion completion) {
    attempt_.reset();
    PKCE pkce = PKCE::generate();
    auto url = LinkURL::make(baseURL, pkce.challenge, pkce.state, deviceName);
    attempt_ = Attempt{std::move(pkce), url ? QUrl(QString::fromStdString(*url)) : QUrl(), std::move(completion)};
    if (!url || !openUrl_ || !openUrl_(attempt_->linkURL))
        finish(LinkResult::failed(QStringLiteral("로그인 창을 열 수 없어요. 잠시 후 다시 시도해 주세요.")));
}

void LinkCoordinator::cancel() {
    finish(LinkResult::cancelled());
}

bool LinkCoordinator::handleCallback(const QString &url) {
    if (!attempt_) return false;
    finish(resultFor(url.toStdString(), attempt_->pkce.state, attempt_->pkce.verifier));
    return true;
}

LinkResult LinkCoordinator::resultFor(const std::string &callbackURL, const std::string &expectedState,
                                      const std::string &verifier) {
    try {
        LinkCallback callback = LinkCallbackParser::parse(callbackURL, expectedState, "quorvel", "link");
        if (auto code = std::get_if<LinkCallback::Code>(&callback.value))
            return LinkResult::withCode(code->code, verifier);
        return LinkResult::denied();
    } catch (const LinkCallbackError &error) {
        if (error.kind() == LinkCallbackError::Kind::stateMismatch)
            return LinkResult::failed(QStringLiteral("연결 정보가 맞지 않아요. 처음부터 다시 시도해 주세요."));
        return LinkResult::failed(QStringLiteral("연결에 실패했어요. 다시 시도해 주세요."));
    }
}

void LinkCoordinator::finish(const LinkResult &result) {
    if (!attempt_) return;
    Completion completion = std::move(attempt_->completion);
    attempt_.reset();
    if (completion) completion(result);
}

} // namespace quorvel::app
