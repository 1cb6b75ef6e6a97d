#pragma once

// The program's files are the user's alone: every folder it makes is 0700 and every file it
// writes 0600, whatever the umask, and files and folders made before are tightened when the
// program opens them. The event log records every command line the program starts.

#include <QString>

namespace kr {

inline constexpr unsigned kPrivateDirMode = 0700;
inline constexpr unsigned kPrivateFileMode = 0600;

// Makes the folder and any missing parents; the folders made and the folder itself are
// tightened to 0700. False when the folder cannot be made.
bool MakePrivateDir(const QString& path);

// Takes group and others' rights away from an existing file or folder that belongs to the
// user. False when a file that should be tightened could not be.
bool TightenFile(const QString& path);

// Opens a file with ::open, creating it 0600 when missing and tightening it when present.
// Returns the descriptor, or -1 with errno set.
int OpenPrivateFile(const QString& path, int flags);

// Creates an empty 0600 file when none exists (so that a writer that creates files under the
// umask finds it made), or tightens the one there. False when it can be neither.
bool EnsurePrivateFile(const QString& path);

} // namespace kr
