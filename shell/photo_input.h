#pragma once
// A photo given to the main window other than through its dialog: a file
// dropped on it, a link or path pasted, or a picture copied from elsewhere.

#include <QString>

class QImage;
class QMimeData;

namespace marigal {

// The local file that dropped or pasted data stands for: the first local
// file among its links, or its text when that is one file:// link or one
// absolute path. Empty when it stands for none.
QString LocalPhotoPath(const QMimeData& data);

// Where pictures pasted as data are kept: the user's data folder,
// ~/.local/share/marigal/pasted.
QString PastedPhotoFolder();

// Writes a pasted picture as a PNG into `folder` and removes the picture
// pasted before it (the photo field named it and names this one now).
// Returns the new file's path. Raises AppError when it cannot be written.
QString KeepPastedPicture(const QImage& picture, const QString& folder);

}  // namespace marigal
