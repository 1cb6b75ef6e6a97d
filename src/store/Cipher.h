#pragma once

#include <QByteArray>

namespace kr {

// The owner password under which the data file and the synchronization files are enciphered.
// It is the same in every installation, so that files travel between them, and the user never
// sees it.
QByteArray OwnerPassword();

// The key the files are enciphered with, in SQLCipher's raw-key form ("x'…'", 32 bytes in
// hex). It was derived once from the owner password (PBKDF2-HMAC-SHA256, 64,000 rounds, salt
// kOwnerKeySalt): since the password is a constant, deriving it again on every open, as a
// password key does, would only cost time. Files keyed with the password itself are still
// read, and re-keyed the first time they are opened.
QByteArray OwnerRawKey();

inline constexpr char kOwnerKeySalt[] = "Kelvray raw key";
inline constexpr int kOwnerKeyRounds = 64000;

} // namespace kr
