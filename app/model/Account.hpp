#pragma once

#include "model/LinkResult.hpp"

#include "api/APIError.hpp"

#include <QObject>
#include <QProperty>
#include <QString>

#include <memory>
#include <optional>
#include <string>

namespace quorvel {
class AuthSession;
class FileTokenStore;
class LocalStore;
class PendingRevokeStore;
} // namespace quorvel

namespace quorvel::app {

class Connectivity;
class Library;
class LinkCoordinator;
class Stage;
class SyncController;
class Workers;
struct Environment;
struct Services;

// The account on this computer: signing in through the browser (a first link, or again from the
// library), finishing it with the token exchange, logging out (the revocation is owed when it cannot
// be sent), and erasing the library to download it again.
class Account : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRelinking READ isRelinking NOTIFY isRelinkingChanged)
    Q_PROPERTY(bool isLoggingOut READ isLoggingOut NOTIFY isLoggingOutChanged)
    Q_PROPERTY(std::optional<QString> email READ email NOTIFY emailChanged)

public:
    Account(Workers &workers, const Services &services, Stage &stage, Connectivity &connectivity, Library &library,
            SyncController &sync, LinkCoordinator &link, const Environment &environment, QObject *parent = nullptr);

    // A new sign-in from the library is under way; the library stays on screen.
    bool isRelinking() const { return isRelinking_; }
    bool isLoggingOut() const { return isLoggingOut_; }
    // The account's own steps are erasing the library or dropping the credentials.
    bool isWriting() const { return writing_ > 0; }
    // The signed-in account's address, or the one kept with the library.
    const std::optional<QString> &email() const { return email_.value(); }
    // There is an account to log out of, and no logout under way.
    bool canLogOut() const;

    // Opens the service's link page in the browser; the answer comes back through handleCallbackURL.
    void beginLogin();
    // The user stopped waiting for the browser.
    void cancelLogin();
    // The browser's callback URL, from this process's arguments or the single-instance channel.
    void handleCallbackURL(const QString &url);
    // Logs out (asked and confirmed by the screens) and erases the library.
    void logout();
    // Erases the library, keeps the credentials, and downloads everything again.
    void wipeAndResync();
    // Another process wrote or removed the credentials (quorvel-cli link or logout), or emptied a
    // library kept without them: the app goes where it would have started with what is on disk now.
    // Nothing is revoked or erased for a logout elsewhere; credentials of another service are
    // dropped with the library, as at start-up. Where the app already is, it stays.
    void followCredentials(bool present, const std::optional<std::string> &boundBaseURL);
    // The library was read again; `stored` is the address kept with it.
    void showEmail(const std::optional<std::string> &stored);
    void clear();

    // `error` absent: the exchange failed with something other than a service error.
    static QString loginMessage(const std::optional<APIError> &error);

Q_SIGNALS:
    void isRelinkingChanged();
    void isLoggingOutChanged();
    void isWritingChanged();
    void emailChanged();
    // The browser handed a sign-in back: the window should come to the front.
    void browserReturned();
    void libraryErased();

private:
    struct Flow; // the coroutines of the account's steps, in the .cpp
    template <class>
    friend class OwnWork;
    void restore(bool fromMain);

    Workers &workers_;
    Stage &stage_;
    Connectivity &connectivity_;
    Library &library_;
    SyncController &sync_;
    LinkCoordinator &link_;
    const Environment &environment_;
    std::shared_ptr<LocalStore> store_;
    std::shared_ptr<FileTokenStore> tokens_;
    std::shared_ptr<PendingRevokeStore> pendingRevoke_;
    std::shared_ptr<AuthSession> auth_;
    int writing_ = 0;

    Q_OBJECT_BINDABLE_PROPERTY(Account, bool, isRelinking_, &Account::isRelinkingChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Account, bool, isLoggingOut_, &Account::isLoggingOutChanged)
    Q_OBJECT_BINDABLE_PROPERTY(Account, std::optional<QString>, email_, &Account::emailChanged)
};

} // namespace quorvel::app
