#pragma once
// One headless office process and everything it leaves on disk.
//
// Started directly: soffice.bin, with the arguments and environment its
// launcher would give it, as our child in a session (process group) of its
// own, killed by the kernel when this program ends. This spares the launcher
// chain (a shell script, oosplash and javaldx) on every start.
//
// Started through the launcher (where there is no soffice.bin beside it):
// the launcher's session holds oosplash and the soffice.bin it forks, which
// the parent-death signal would not reach; a small guardian process kills
// that session when its pipe from us closes, which it does when we end.
//
// The group id stays ours until the process is reaped, which therefore
// always comes last. An office killed, or ending badly, leaves its pipe
// sockets in /tmp and its temporary folder behind; stop() removes them on
// every path.

#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>

#include <sys/types.h>

namespace marigal::engine::lo {

struct OfficeLaunch {
    QString soffice;          // the launcher
    QString sofficeBin;       // the office itself; empty: start the launcher
    QString installationUrl;  // -env:UserInstallation, the profile
    QString tempDir;          // the office's TMPDIR; emptied before and after
    QString pipeName;         // its UNO pipe: unique, starts with "marigal-"
    unsigned long long memoryLimit = 0;  // its address space, bytes (0: none)
    bool ownNetwork = false;             // a network of its own, empty
};

// Kills every office this program runs, at once: safe in a signal's handler.
void KillAllOfficesNow() noexcept;

class OfficeProcess {
public:
    using Clock = std::chrono::steady_clock;

    // Raises EngineError(kCannotCreate) when the office cannot be started.
    explicit OfficeProcess(OfficeLaunch launch);
    // Kills and reaps what still runs, and removes what it left.
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    const OfficeLaunch& launch() const { return launch_; }
    pid_t pid() const;  // also the process group id
    bool direct() const { return !launch_.sofficeBin.isEmpty(); }

    // The process has exited (whether reaped or not).
    bool exited() const;
    // It exited asking to be started again, as a started office does once
    // after it has set up a new profile (its launcher would restart it).
    bool restartRequested() const;
    // Reaps the exited process and starts it again, as it was started.
    // Raises EngineError(kCannotCreate) when it cannot be started.
    void restart();

    // SIGKILL to the whole group. Safe from any thread (the watchdog's); does
    // nothing once the process is reaped, when the group id may be reused.
    void kill();
    // Waits until the office has ended by itself or `deadline` passes, kills
    // what is left, reaps it, and removes its sockets and temporary files.
    // Does nothing the second time.
    void stop(Clock::time_point deadline);
    bool stopped() const { return stopped_; }

    // "marigal-<pid>-<counter>-<random>": unique among this program's offices
    // and any other instance's.
    static QString uniquePipeName();

    // Its address space came near its limit before it ended: an office that
    // dies then has run out of memory.
    bool nearMemoryLimit() const;
    // It has a network of its own (the system let it), not ours.
    bool inOwnNetwork() const;

private:
    void spawn();
    void startGuardian();
    void endGuardian();
    std::optional<int> exitStatus() const;

    void sampleMemory();

    OfficeLaunch launch_;
    // The largest address space seen, sampled a few times a second.
    std::atomic<unsigned long long> peakMemory_{0};
    std::atomic<bool> sampling_{false};
    std::thread sampler_;
    pid_t pid_ = -1;
    pid_t guardian_ = -1;
    int guardianPipe_ = -1;     // its other end is the guardian's input
    mutable std::mutex mutex_;  // orders kill() against reaping and restarting
    bool reaped_ = false;
    bool stopped_ = false;
};

// Kills processes still running on this profile: left by an earlier holder
// of the profile that crashed. Call only while holding the profile's slot.
void killStrays(const QString& installationUrl);

// Removes this user's office pipes ("marigal-<pid>-...") that a program of
// ours left when it was killed: those whose program no longer runs (its
// offices died with it).
void removeStalePipes();

// Where the office's local sockets live: /tmp/OSL_PIPE_<uid>_<name>.
QString oslPipePath(const QString& pipeName);
// The pipe a profile's office opens so that a second start on the same
// profile hands over to it.
QString singleInstancePipeName(const QString& installationUrl);

}  // namespace marigal::engine::lo
