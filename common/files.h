#pragma once
// File routines shared by the windows, the application folder, and the
// working folder every working file lives in.

#include <QByteArray>
#include <QString>

#include <memory>

namespace marigal {

// True when the file system can tell the path's time stamp; never raises.
bool FileExists(const QString& path);

// Deletes a file, by a second, forced method when the plain deletion fails;
// never raises and never reports.
void RemoveFile(const QString& path);

// The forced deletion: also removes a read-only file. Raises AppError.
void RemoveFileByFso(const QString& path);

// Writes the bytes as the whole new content of `path`, replacing any existing
// file completely (never leaving stale bytes of an older, longer file), or
// not at all: a failed write leaves the old file, or none, and no part of
// the new one. Raises AppError: "Disk full" when the disk or the file-size
// limit is reached, "Permission denied", ...
void WriteBytesToFile(const QByteArray& bytes, const QString& path);

// Writes the bytes as a new file at `path`, whole, in one step: raises
// AppError "File already exists" when there is a file there already, or one
// appears there meanwhile (another writer's is never replaced).
void WriteNewFile(const QByteArray& bytes, const QString& path);

// The error text for a failed write, by the system's reason (an errno).
QString WriteFailureText(int error);

// Writes all of `bytes` to the open file `fd` and closes it: 0, or the
// errno of what failed.
int WriteAndClose(int fd, const QByteArray& bytes);

// The permissions a new file gets: read and write for all, less the umask.
unsigned NewFileMode();

// Raises AppError "File name too long: NAME" when the last part of `path`
// is longer than its folder's file system takes.
void RefuseTooLongName(const QString& path);

// Raises AppError "Path/File access error" when the two paths name the same
// file (through a link too): copying a file over itself would destroy it.
void RefuseSameFile(const QString& source, const QString& target);

// Copies `source` to `target`: the copy is written beside the target and
// takes its place only when complete, so a failure leaves an existing target
// as it was. Raises AppError.
void CopyFileReplacing(const QString& source, const QString& target);

// The program's own files (the hand pointer, the sample photo, the skin):
// installed, the data folder beside the executable's (../share/marigal);
// otherwise the executable's folder.
QString ApplicationFolder();

// Joins a folder and a relative path with the platform's separator.
QString JoinPath(const QString& folder, const QString& relative);

// The private working folder: the TEMP folder itself when it is set, is the
// user's own, the user can write in it and no one else can; otherwise a
// private folder (mode 0700, the user's own) under TEMP or the system's
// temporary folder. Raises AppError when no such folder can be made.
QString WorkingFolder();

// This program's own folder inside the working folder ("marigal-run-..."),
// which holds every working file of this program, so that two programs
// running side by side never meet. Made on first use and locked for as long
// as the program runs; folders of earlier programs that nobody holds any
// more (killed, crashed) are removed when it is made. Raises AppError.
QString RunFolder();

// Removes this program's folders with whatever they still hold: at the
// program's end, on every path that ends it normally.
void RemoveRunFolders();

// A working file's path: RunFolder() joined with `fileName`.
QString WorkPath(const QString& fileName);

// The card's PDF, kept beside the card document: its name with ".pdf" for
// its extension ("tamlor12345678.doc" -> "tamlor12345678.pdf"); "" for "".
QString CardPdfPath(const QString& cardDocument);

}  // namespace marigal
