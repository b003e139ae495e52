#pragma once

#include <QByteArray>
#include <QString>

// Files that hold the user's data are never rewritten in place: the new content
// goes to a temporary file in the same folder, is flushed to disk and then renamed
// over the old one, so a crash or a full disk leaves either the old file or the
// new one, never half of either.
namespace AtomicFile {

enum class Existing { MayCreate, MustExist };

// Replaces (or creates) path with data. A new file gets newFileMode (octal
// permission bits); a replaced file keeps its own permissions. A file that is
// marked read-only (no write permission for its owner) is left alone and the
// write fails, as it would for any other program.
bool Write(const QString& path, const QByteArray& data, Existing existing = Existing::MayCreate,
           unsigned newFileMode = 0644);

// Adds data at the end of path (created with newFileMode) and, with sync,
// syncs it to disk before returning. A write that fails is taken back, so the
// file never keeps half of it.
bool Append(const QString& path, const QByteArray& data, unsigned newFileMode = 0600, bool sync = true);

// Removes the temporary files that a write cut short by a crash left in
// folder for the files whose names match namePattern (a regular expression
// for the whole name). Only call it while no write of this program runs there.
int RemoveLeftovers(const QString& folder, const QString& namePattern);

// True when path exists and its owner may not write it.
bool IsReadOnly(const QString& path);

}  // namespace AtomicFile
