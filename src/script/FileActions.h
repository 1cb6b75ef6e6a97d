#pragma once

// File actions of scripts: copy, move and delete files, make and remove folders, read a
// file's date, time and size, test for a file, and write the list of open windows.

#include "script/Values.h"
#include "script/WindowMatch.h"

namespace kr {

// RunFileAction: the operation with its two parameters (values in brackets substituted);
// sets the operation's value and "Errorcode", and returns the result. Never shows a message.
qint32 RunFileAction(const QString& operation, const QString& first, const QString& second,
                     ValueStore& values, WindowMatcher* windows);

// The fixed-width line of the window log: title 40, handle 12, child text 40, child class
// 20, child handle 12.
QString WindowLogLine(const QString& title, quint64 handle, const QString& childText,
                      const QString& childClass, quint64 childHandle);

} // namespace kr
