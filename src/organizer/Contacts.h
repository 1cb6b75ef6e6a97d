#pragma once

// The contacts' rules apart from their windows: the clipboard text of a contact, a copy
// under a new number, and the mail and web addresses that may be opened.

#include "store/Tables.h"

#include <optional>

namespace kr {

// The contact as text, one part a line, each without trailing blanks; the labelled lines are
// written even when their value is blank.
QString ContactText(const Contact& c);

// The contact's fields for a new contact: everything but its number and notes' record.
Contact CopyOfContact(const Contact& c);

// "mailto:" and the address percent-encoded; nullopt for a blank address or one holding
// blanks or control characters.
std::optional<QString> MailAddress(const QString& email);

// The web site as an http or https address: as typed when it names one of them, else
// "http://" before it. Nullopt for a blank field, for any other scheme ("file:", "ftp:", a
// program path) and for text with blanks or control characters, which a desktop opener
// could take for a program to start.
std::optional<QString> WebAddress(const QString& website);

} // namespace kr
