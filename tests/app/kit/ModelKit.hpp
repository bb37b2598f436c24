#pragma once

#include "model/Account.hpp"
#include "model/AppModel.hpp"
#include "model/Connectivity.hpp"
#include "model/Library.hpp"
#include "model/Reader.hpp"
#include "model/Search.hpp"
#include "model/Stage.hpp"
#include "model/SyncController.hpp"

#include "Library.hpp"
#include "SampleService.hpp"

#include <QList>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include <memory>

namespace quorvel::app::test {

// A model wired to an in-process sample service, a temporary library directory, its own
// preferences file and a clock the test can move. The "browser" is a seam: it records every URL
// and, while autoApprove is on, approves the link page as a user would and hands the callback back.
class ModelKit {
public:
    explicit ModelKit(service::Library library = smallLibrary(), service::ServiceOptions options = {});

    static service::Library smallLibrary();

    Environment environment();
    std::unique_ptr<AppModel> makeModel();
    // A model linked through the link page and done with its first download.
    std::unique_ptr<AppModel> linkedModel();
    // Runs a manual sync and waits for it to end.
    static void syncAndWait(AppModel &model);
    // Waits until the model's queued store work has been answered.
    static void settle(AppModel &model);

    service::ServiceControl &control() { return service.control(); }

    QTemporaryDir dir;
    service::SampleService service;
    QSettings settings;
    std::string baseURL;
    double clockOffset = 0;
    bool autoApprove = true;
    bool browserWorks = true;
    QList<QUrl> opened;

private:
    void approve(const QUrl &linkPage);
    QPointer<AppModel> current_;
};

} // namespace quorvel::app::test
