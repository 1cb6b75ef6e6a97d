#pragma once

// The running program for a data folder, called on the session bus.

#include "platform/Progress.h"

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

namespace kr::cli {

// The running program's bus name, when one runs for the data folder.
std::optional<QString> RunningProgram(const QString& dir);

// Calls the running program; its errors become this program's: an argument it refused is a
// usage error (UsageError), anything else a failure (Failure).
QDBusMessage Call(const QString& name, const QString& method, const QVariantList& arguments);

// A call that may take long (an import, a receipt, a selection), without a time limit: the
// program's progress is shown on `progress`, and Ctrl+C (with an InterruptCancels alive) asks
// the program to cancel the run, once. The first answer's map.
QVariantMap LongCall(const QString& name, const QString& method, const QVariantList& arguments,
                     Progress& progress);

// Hands the program's progress signal on to a progress.
class ProgressRelay final : public QObject {
    Q_OBJECT
public:
    explicit ProgressRelay(Progress& progress)
        : progress_(progress) {}

public Q_SLOTS:
    void percent(int value);

private:
    Progress& progress_;
    bool begun_ = false;
};

} // namespace kr::cli
