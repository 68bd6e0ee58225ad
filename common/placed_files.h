#pragma once
// Files written for a list somebody else wrote, put in their places safely:
// only inside the folder the list may write to (every link in the way
// followed), never over anything but a plain file (a link, a named pipe, a
// device, a socket or a folder there is refused by name), and all of a
// card's files together or none. Each file is written beside its place in
// that very folder, opened once and worked in relative to it, so that no
// link swapped in meanwhile can send a file elsewhere.

#include <QByteArray>
#include <QString>

#include <memory>

namespace marigal {

// Where files may go: inside `root` (after every link is followed), or
// anywhere when it is empty; `rootName` is how a refusal names it ("the
// list's folder").
struct FolderRule {
    QString root;
    QString rootName;
};

// True when `path` (which must exist) lies inside `root`, or is it, with
// every link in either followed.
bool LiesInside(const QString& path, const QString& root);

class StagedFiles {
public:
    explicit StagedFiles(FolderRule rule = {});
    ~StagedFiles();  // removes what was not put in place
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;

    // Writes `bytes` beside `target`, which refusals name `shownAs` (the
    // target when empty). Raises AppError, always naming the target: "File
    // already exists" when not to replace a file that is there, "… is a
    // symbolic link, not a file" and the like, "… is outside the list's
    // folder", and the texts of WriteBytesToFile.
    void add(const QByteArray& bytes, const QString& target, bool replace, const QString& shownAs = {});
    // For a writer that writes a file by its name: an empty file of its own
    // beside `target`, whose path is returned; it goes in place with the others.
    QString addForWriter(const QString& target, bool replace, const QString& shownAs = {});
    // Puts them in place, over the files there when `replace` (only plain
    // files: anything else is refused even if it appeared meanwhile), else
    // only where there is none. When one cannot be, those already put in
    // place are taken back and the files they replaced restored. Raises
    // AppError naming the target.
    void commit(bool replace);

private:
    struct Files;
    std::unique_ptr<Files> files_;
};

}  // namespace marigal
