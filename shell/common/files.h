#pragma once
// File routines shared by the windows, the application folder, and the
// working folder every working file lives in.

#include <QByteArray>
#include <QString>

namespace marigal {

// True when the file system can tell the path's time stamp; never raises.
bool FileExists(const QString& path);

// Deletes a file, by a second, forced method when the plain deletion fails;
// never raises and never reports.
void RemoveFile(const QString& path);

// The forced deletion: also removes a read-only file. Raises AppError.
void RemoveFileByFso(const QString& path);

// Writes the bytes as the whole new content of `path`, replacing any existing
// file completely (never leaving stale bytes of an older, longer file).
// Raises AppError.
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// Raises AppError "Path/File access error" when the two paths name the same
// file (through a link too): copying a file over itself would destroy it.
void RefuseSameFile(const QString& source, const QString& target);

// Copies `source` to `target`: the copy is written beside the target and
// takes its place only when complete, so a failure leaves an existing target
// as it was. Raises AppError.
void CopyFileReplacing(const QString& source, const QString& target);

// The folder of the executable.
QString ApplicationFolder();

// Joins a folder and a relative path with the platform's separator.
QString JoinPath(const QString& folder, const QString& relative);

// The folder every working file goes to: the TEMP folder itself when it is
// set, is the user's own and no one else can write to it; otherwise a private
// folder (mode 0700, the user's own) under TEMP or the system's temporary
// folder. Raises AppError when no such folder can be made.
QString WorkingFolder();

// A working file's path: WorkingFolder() joined with `fileName`.
QString WorkPath(const QString& fileName);

}  // namespace marigal
