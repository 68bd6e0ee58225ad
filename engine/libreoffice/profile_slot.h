#pragma once
// A reusable office profile folder, held for as long as one office runs in it.
//
// The office hands a second start on the same profile to the office already
// running there, so one Quit would end both: each office needs a profile of
// its own. An office starts about twice as fast on a profile it has used
// before, so a few are kept under the profile root (p0, p1, ...) and each is
// taken under an flock(2) lock that its holder keeps until its office has
// exited. A crashed holder's lock goes with its process (its office does not:
// see killStrays).

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

namespace marigal::engine::lo {

class ProfileSlot {
public:
    // Takes the first free slot under `root`, creating folders as needed.
    // Raises OfficeProfileError, naming the folder and the system's reason,
    // when a slot cannot be made or written there; EngineError(kCannotCreate)
    // when every slot is taken. With `usedOnly`, only a slot whose profile an
    // office has made before, and null when none of those is free.
    static std::unique_ptr<ProfileSlot> acquire(const QString& root, bool usedOnly = false);

    ~ProfileSlot();  // releases the lock
    ProfileSlot(const ProfileSlot&) = delete;
    ProfileSlot& operator=(const ProfileSlot&) = delete;

    const QString& dir() const { return dir_; }
    // The -env:UserInstallation value: the office keeps its data in dir()/user.
    QString installationUrl() const;
    // The office's TMPDIR, so that its temporary files are ours to remove.
    QString tempDir() const;
    // The lock file, for callers that check whether a slot is held.
    static QString lockPath(const QString& slotDir);
    // The slot folders under `root` that no one holds now.
    static QStringList freeSlots(const QString& root);

    // Both seed files are there, well-formed, and still hold the seeded
    // settings (the office rewrites its settings on exit and keeps ours).
    bool healthy() const;
    // Removes the profile the office made here, so that it starts anew.
    void clear() const;
    // Writes whichever seed file the profile lacks; one that is there is
    // kept. Raises OfficeProfileError when one cannot be written.
    void seed(const QString& installedVersion) const;

private:
    ProfileSlot(QString dir, int lockFd);

    QString dir_;
    int lockFd_;
};

// The settings a new profile starts with (registrymodifications.xcu):
// - the last-used version equal to the installed one, which spares the
//   first-start-after-upgrade work (4 s instead of 0.6 s); left out when
//   the version is unknown;
// - no lock files next to documents (".~lock.card.docx#");
// - macros never run, whatever a document carries.
QByteArray profileSeed(const QString& installedVersion);

// The Java settings a new profile starts with: Java off. The launcher then
// skips its search for a Java runtime (~150 ms on every start); nothing the
// cards need runs on Java. Empty on a platform whose file name is unknown.
QByteArray javaSeed();
// Where the office reads them: user/config/javasettings_<OS>_<ARCH>.xml.
QString javaSeedName();

}  // namespace marigal::engine::lo
