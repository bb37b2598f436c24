#pragma once

// A table's loop names the case a failed check returned from: the check ends the function it is
// in, and the trace, going out of scope, sees the test's first failure.
#include <QByteArray>
#include <QTest>

namespace quorvel::test {

struct CaseTrace {
    QByteArray name;
    bool failedBefore = QTest::currentTestFailed();
    ~CaseTrace() {
        if (QTest::currentTestFailed() && !failedBefore) qWarning("in the case %s", name.constData());
    }
};

} // namespace quorvel::test
