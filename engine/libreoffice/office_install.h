#pragma once
// Finding the office installation and what a new profile must know about it.

#include <QString>

namespace marigal::engine::lo {

// The launcher to start: `configured` when given (and executable), else
// `soffice` on PATH, else the Debian location. Empty when there is none.
QString findSoffice(const QString& configured);

// The installation's program folder (holding soffice.bin, the type libraries
// and versionrc), found from the launcher through its symbolic links.
QString programDirOf(const QString& soffice);

// The office binary the launcher `soffice` would run (soffice.bin in its
// program folder); empty when there is none, as for a launcher of another
// kind, which must then be started itself.
QString officeBinaryOf(const QString& soffice);

// The installed "major.minor" exactly as the office compares it with a
// profile's last-used version; empty when it cannot be told. Read from the
// installation's own registry (ooSetupVersion), else from bootstraprc's
// ProductKey ("LibreOffice 7.4").
QString installedVersion(const QString& programDir);

}  // namespace marigal::engine::lo
