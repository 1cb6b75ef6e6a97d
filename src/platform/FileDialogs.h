#pragma once

// The file dialogs of the program, behind one interface so that tests can answer them.

#include "platform/TransactionGuard.h"

#include <QString>

namespace kr {

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The filter is written as pairs of description and patterns, all separated by "|":
    // "WAV Files|*.WAV|All Files|*.*". Patterns match without regard to letter case, and
    // "*.*" matches every file. An empty result means the user cancelled.
    // Never inside a transaction (the dialog runs an event loop).
    QString openFile(const QString& title, const QString& filter, const QString& directory) {
        RefuseInsideTransaction("a file dialog");
        return doOpenFile(title, filter, directory);
    }
    QString saveFile(const QString& title, const QString& filter, const QString& directory) {
        RefuseInsideTransaction("a file dialog");
        return doSaveFile(title, filter, directory);
    }

protected:
    virtual QString doOpenFile(const QString& title, const QString& filter, const QString& directory) = 0;
    virtual QString doSaveFile(const QString& title, const QString& filter, const QString& directory) = 0;
};

} // namespace kr
