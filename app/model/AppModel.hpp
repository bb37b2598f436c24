#pragma once

#include "model/Environment.hpp"
#include "model/Services.hpp"

#include <QFuture>
#include <QObject>

#include <memory>

namespace quorvel::app {

class Account;
class Connectivity;
class DocumentLinks;
class Library;
class LibraryWatch;
class LinkCoordinator;
class Preferences;
class Reader;
class Revocation;
class Search;
class Stage;
class SyncController;
class SyncScheduler;
class UpdateChecker;
class Workers;

// The application's model: its parts, built on the core's services and wired to each other here.
// Each part owns one kind of state and publishes it as properties; a part calls down to the parts it
// was given and reads their state, and what one part tells another sideways goes through the
// connections made in wire(). Everything lives on the main thread; the parts run blocking work on
// the workers.
//
//   Stage         the screen (phase) and the last sign-in failure
//   Connectivity  the network's state
//   Library       tree, recent documents, figures, folder state, the library check
//   Search        the typed text and its results
//   Reader        the open document, its page, the selection it came from, the zoom
//   Revocation    the revocation still owed to the service
//   SyncController  requests, runs, progress, outcomes, the footer's badge
//   Account       sign-in, logout, erase and download again, the account's address
//   LibraryWatch  what another process does to the library and the credentials
//   DocumentLinks  quorvel://open?id=N from other programs
class AppModel : public QObject {
    Q_OBJECT
public:
    using StoreUnavailable = Services::StoreUnavailable;

    // Throws StoreUnavailable when no library can be opened.
    explicit AppModel(Environment env = Environment::desktop(), QObject *parent = nullptr);
    ~AppModel() override;

    // Once the window is up: the scheduler, the update checker's loop, a revocation still owed, then
    // the first download or the launch sync. Later calls do nothing.
    void start();
    // A quorvel: URL from this program's arguments or the single-instance channel. A document link
    // goes to DocumentLinks before anything else, so it never reaches a sign-in under way; the rest
    // are the browser's sign-in callbacks.
    void handleURL(const QString &url);

    const Environment &environment() const { return env_; }
    Preferences &preferences() const { return *preferences_; }
    const Services &services() const { return services_; }
    Stage &stage() const { return *stage_; }
    Connectivity &connectivity() const { return *connectivity_; }
    Library &library() const { return *library_; }
    Search &search() const { return *search_; }
    Reader &reader() const { return *reader_; }
    Revocation &revocation() const { return *revocation_; }
    SyncController &sync() const { return *sync_; }
    Account &account() const { return *account_; }
    DocumentLinks &documentLinks() const { return *documentLinks_; }
    UpdateChecker &updateChecker() const { return *updateChecker_; }
    // Absent until start().
    SyncScheduler *scheduler() const { return scheduler_; }
    LibraryWatch &watch() const { return *watch_; }

    // For tests and benchmarks: resolves once every piece of store work queued so far has been
    // answered on the main thread.
    QFuture<void> whenStoreIdle();

private:
    void wire();
    void chooseFirstPhase();
    // The library was erased: the parts show nothing of it, and answers about it are dropped.
    void resetState();

    Environment env_;
    std::unique_ptr<Preferences> preferences_;
    Services services_;
    // Declared before the parts, so it outlives them: its destructor waits for the work in flight.
    std::unique_ptr<Workers> workers_;
    std::unique_ptr<Stage> stage_;
    std::unique_ptr<Connectivity> connectivity_;
    std::unique_ptr<Library> library_;
    std::unique_ptr<Search> search_;
    std::unique_ptr<Reader> reader_;
    std::unique_ptr<Revocation> revocation_;
    std::unique_ptr<SyncController> sync_;
    std::unique_ptr<Account> account_;
    std::unique_ptr<LibraryWatch> watch_;
    std::unique_ptr<DocumentLinks> documentLinks_;
    UpdateChecker *updateChecker_ = nullptr;     // a child
    LinkCoordinator *linkCoordinator_ = nullptr; // a child
    SyncScheduler *scheduler_ = nullptr;         // a child, made by start()
    bool started_ = false;
};

} // namespace quorvel::app
