#pragma once

#include <QByteArray>

namespace kr {

// The owner password under which the data file and the synchronization files are enciphered.
// It is the same in every installation, so that files travel between them, and the user never
// sees it.
QByteArray OwnerPassword();

} // namespace kr
