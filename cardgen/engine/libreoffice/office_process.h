#pragma once
// One headless office process and everything it leaves on disk.
//
// `soffice` is a script that becomes oosplash, which runs soffice.bin as its
// child. The launcher is started in a process group (session) of its own, so
// that one signal to the group reaches both. The group id stays ours until the
// launcher is reaped, which therefore always comes last.
//
// An office killed, or ending badly, leaves its pipe sockets in /tmp and its
// temporary folder behind; stop() removes them on every path.

#include <QString>

#include <chrono>
#include <mutex>

#include <sys/types.h>

namespace marigal::engine::lo {

struct OfficeLaunch {
    QString soffice;          // the launcher
    QString installationUrl;  // -env:UserInstallation, the profile
    QString tempDir;          // the office's TMPDIR; emptied before and after
    QString pipeName;         // its UNO pipe: unique, starts with "marigal-"
};

class OfficeProcess {
public:
    using Clock = std::chrono::steady_clock;

    // Raises EngineError(kCannotCreate) when the launcher cannot be started.
    explicit OfficeProcess(OfficeLaunch launch);
    // Kills and reaps what still runs, and removes what it left.
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    const OfficeLaunch& launch() const { return launch_; }
    pid_t pid() const { return pid_; }  // also the process group id

    // The launcher has exited (whether reaped or not).
    bool exited() const;
    // SIGKILL to the whole group. Safe from any thread (the watchdog's); does
    // nothing once the launcher is reaped, when the group id may be reused.
    void kill();
    // Waits until the office has ended by itself or `deadline` passes, kills
    // what is left, reaps it, and removes its sockets and temporary files.
    // Does nothing the second time.
    void stop(Clock::time_point deadline);
    bool stopped() const { return stopped_; }

    // "marigal-<pid>-<counter>-<random>": unique among this program's offices
    // and any other instance's.
    static QString uniquePipeName();

private:
    OfficeLaunch launch_;
    pid_t pid_ = -1;
    mutable std::mutex mutex_;  // orders kill() against reaping
    bool reaped_ = false;
    bool stopped_ = false;
};

// Kills processes still running on this profile: left by an earlier holder
// of the profile that crashed. Call only while holding the profile's slot.
void killStrays(const QString& installationUrl);

// Where the office's local sockets live: /tmp/OSL_PIPE_<uid>_<name>.
QString oslPipePath(const QString& pipeName);
// The pipe a profile's office opens so that a second start on the same
// profile hands over to it.
QString singleInstancePipeName(const QString& installationUrl);

}  // namespace marigal::engine::lo
