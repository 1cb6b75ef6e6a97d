#pragma once

// "Run" on a saved clipboard text: the web and mail addresses, programs and shortcuts named in
// it, each as one name to open.

#include <QString>
#include <QStringList>

namespace kr {

// What Run starts for the text, in order: the address after "http:", "https:" and "mailto:"
// (at most 255 characters, cut before a blank or double quote); the names ending in ".exe",
// ".lnk" and ".url"; and, when nothing else was found, "http://" before a text that begins
// with "www". Only the first occurrence of each pattern counts.
QStringList ClipboardRunTargets(const QString& text);

// Whether the list draws the text as a link: it holds "http:", "https:", "mailto:", ".exe" or
// ".lnk", in any letter case.
bool ClipboardTextIsLink(const QString& text);

} // namespace kr
