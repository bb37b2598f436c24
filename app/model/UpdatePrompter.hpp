#pragma once

#include <QList>
#include <QString>

#include <functional>

namespace quorvel::app {

// One alert about releases, described for whoever draws it.
struct UpdateAlert {
    enum class Style { informational, warning };
    enum class Action { ok, download, later, skip };
    struct Button {
        Action action;
        QString text;
        bool operator==(const Button &) const = default;
    };

    Style style = Style::informational;
    QString title;
    QString text;               // the informative text below the title; may be empty
    QList<Button> buttons;      // in order, the first is the default
    Action escape = Action::ok; // what Escape or closing the alert means

    bool operator==(const UpdateAlert &) const = default;
};

// Where the update checker's alerts appear. The screens supply the real one (a message box on the
// application's window); tests supply one that answers at once.
class UpdatePrompter {
public:
    virtual ~UpdatePrompter() = default;

    // Whether an alert can be shown now: an application window is there to carry it and no other
    // alert is on screen. When not, the checker keeps the alert and offers it again later.
    virtual bool canPresent() const = 0;

    // Shows the alert and calls `answered` exactly once, on the main thread, with the chosen action
    // (`alert.escape` when dismissed) — before returning (a modal box) or later. The checker never
    // waits for it.
    virtual void present(const UpdateAlert &alert, std::function<void(UpdateAlert::Action)> answered) = 0;
};

} // namespace quorvel::app
