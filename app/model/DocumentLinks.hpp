#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace quorvel {
class LocalStore;
}

namespace quorvel::app {

class Reader;
class Stage;
class Workers;
struct Services;

// The document links other programs hand the app (quorvel://open?id=N: the desktop's search,
// quorvel-cli open, a link in a note). In the library the document opens at once. While a sign-in
// or the first download is under way the newest link waits and opens when the library shows, since
// the document it names is usually on its way; a sign-in that ends on the welcome screen forgets
// it, as that screen already says why nothing is there. On the welcome and revoked screens nothing
// is stored and nothing is coming, so the user is told at once.
class DocumentLinks : public QObject {
    Q_OBJECT
public:
    DocumentLinks(Workers &workers, const Services &services, Stage &stage, Reader &reader, QObject *parent = nullptr);

    // True when `url` is meant as a document link, whatever becomes of it; any other URL is left
    // to the sign-in.
    bool take(const QString &url);
    // The link kept until the library shows.
    const std::optional<int64_t> &waiting() const { return waiting_; }

    static QString notFoundMessage();
    static QString noLibraryMessage();
    static QString unreadableMessage();

Q_SIGNALS:
    // A link came: the window should come to the front.
    void arrived();
    // Nothing opens; the message says why.
    void refused(const QString &message);

private:
    void follow();
    void open(int64_t fileID);

    Workers &workers_;
    Stage &stage_;
    Reader &reader_;
    std::shared_ptr<LocalStore> store_;
    std::optional<int64_t> waiting_;
};

} // namespace quorvel::app
