#pragma once

// "Run" on a saved clipboard text: the web and mail addresses, programs and shortcuts named in
// it, each started as one name that is never split into a program and its arguments.

#include "platform/Dialogs.h"
#include "platform/Processes.h"
#include "store/EventLog.h"

#include <QString>

#include <vector>

namespace kr {

struct ClipboardRunTarget {
    enum Kind { Address, File };
    Kind kind;
    QString name;
    bool operator==(const ClipboardRunTarget&) const = default;
};

// What Run starts for the text, in order: the address after "http:", "https:" and "mailto:"
// (at most 255 characters, ending before a blank, a double quote or a line break); the names
// ending in ".exe", ".lnk" and ".url"; and, when nothing else was found, "http://" before a
// text that begins with "www" (up to its first blank). Only the first occurrence of each
// pattern counts.
std::vector<ClipboardRunTarget> ClipboardRunTargets(const QString& text);

// Whether the list draws the text as a link: it holds "http:", "https:", "mailto:", ".exe" or
// ".lnk", in any letter case.
bool ClipboardTextIsLink(const QString& text);

struct ClipboardRunContext {
    ProcessControl& processes;
    Dialogs& dialogs;
    EventLog& log;
};

// Starts every target of the text, each with exactly one name: an address goes to the
// desktop's opener as it stands; a file must exist, and a program among them starts with no
// arguments, any other file goes to the opener. A target that cannot be started is said
// ("Could not start NAME.", caption "Error Code N") and the others still start. The event log
// notes each start without the text. Returns how many started.
int RunClipboardText(const QString& text, const ClipboardRunContext& ctx);

} // namespace kr
