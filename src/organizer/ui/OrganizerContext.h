#pragma once

// What the to-do and contact windows need from the program around them.

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/IniFile.h"
#include "store/Store.h"

#include <QString>

#include <functional>

namespace kr {

struct OrganizerContext {
    Store& store;
    Dialogs& dialogs;
    const Clock& clock;
    IniFile positions;  // POSITION.INI
    QString dateFormat; // the DateFormat setting
    QString userId;     // the station's user name, stamped into saved to-do entries
    bool multiUser = false;
    // The schedule category picker; the current category when nothing was chosen.
    std::function<QString(const QString& current)> selectCategory;
    // Opens an address (mailto:, http:, https:) through the program launcher.
    std::function<void(const QString& address)> openAddress;
};

} // namespace kr
