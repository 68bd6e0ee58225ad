#include "engine/libreoffice/office_process.h"

#include "engine/engine_error.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/spawner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <atomic>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace marigal::engine::lo {

namespace {

using namespace std::chrono_literals;

// SIGKILL is prompt; this only bounds an office stuck in the kernel.
constexpr auto kReapBound = 5s;
// soffice.bin, orphaned when the group is killed, dies right after.
constexpr auto kGroupBound = 2s;
constexpr auto kPoll = 5ms;

void removeTree(const QString& dir)
{
    QDir d(dir);
    if (d.exists()) d.removeRecursively();
}

QByteArray readCmdline(const QString& procDir)
{
    QFile f(procDir + QStringLiteral("/cmdline"));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

bool cmdlineHasArg(const QByteArray& cmdline, const QByteArray& arg)
{
    for (const QByteArray& a : cmdline.split('\0'))
        if (a == arg) return true;
    return false;
}

std::vector<pid_t> processesWithArg(const QByteArray& arg)
{
    std::vector<pid_t> found;
    const uint uid = ::getuid();
    const pid_t self = ::getpid();
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        bool numeric = false;
        const pid_t pid = name.toInt(&numeric);
        if (!numeric || pid == self) continue;
        const QString dir = QStringLiteral("/proc/") + name;
        if (QFileInfo(dir).ownerId() != uid) continue;
        if (cmdlineHasArg(readCmdline(dir), arg)) found.push_back(pid);
    }
    return found;
}

// A process's state letter and process group, from /proc/<pid>/stat
// ("pid (comm) state ppid pgrp ...": comm may hold spaces and parentheses);
// a state of 0 when there is no such process.
struct ProcessStat {
    char state = 0;
    pid_t group = -1;
};

ProcessStat readStat(const QString& pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray stat = f.readAll();
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 3 || fields[0].isEmpty()) return {};
    return {fields[0][0], pid_t(fields[2].toInt())};
}

bool ended(char state)
{
    return state == 0 || state == 'Z' || state == 'X';
}

// Whether a process of the group is still running. Zombies do not count:
// a killed soffice.bin, orphaned, waits for init to reap it, which some
// inits (containers, VMs) do only every few seconds.
bool groupRuns(pid_t pgid)
{
    if (::kill(-pgid, 0) != 0) return false;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        const ProcessStat st = readStat(name);
        if (st.group == pgid && !ended(st.state)) return true;
    }
    return false;
}

// A killed program stays a zombie until its parent reaps it: ended all the same.
bool processRuns(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    return !ended(readStat(QString::number(pid)).state);
}

}  // namespace

// The process groups of the offices running, for a signal's handler to end
// at once: lock-free, and each taken out before its office is reaped, when
// its number could pass to another process.
constexpr int kMaxOfficeGroups = 64;
std::atomic<pid_t> g_officeGroups[kMaxOfficeGroups];

void RegisterGroup(pid_t group)
{
    for (auto& slot : g_officeGroups) {
        pid_t free = 0;
        if (slot.compare_exchange_strong(free, group)) return;
    }
}

void UnregisterGroup(pid_t group)
{
    for (auto& slot : g_officeGroups) {
        pid_t mine = group;
        if (slot.compare_exchange_strong(mine, 0)) return;
    }
}

// The exit codes with which soffice.bin asks its launcher to start it again:
// after it has set up a new profile, and after a crash it wants restarted.
constexpr int kRestartAfterSetup = 81;
constexpr int kRestartAfterCrash = 79;

OfficeProcess::OfficeProcess(OfficeLaunch launch) : launch_(std::move(launch))
{
    removeTree(launch_.tempDir);
    if (!QDir().mkpath(launch_.tempDir)) throw EngineError(errtext::kCannotCreate);
    try {
        spawn();
        if (!direct()) startGuardian();
    } catch (...) {
        stop(Clock::now());
        throw;
    }
}

void OfficeProcess::spawn()
{
    ChildPlan plan;
    plan.program = direct() ? launch_.sofficeBin : launch_.soffice;
    plan.arguments << QStringLiteral("-env:UserInstallation=") + launch_.installationUrl;
    for (const char* a : {"--headless", "--invisible", "--norestore", "--nologo", "--nodefault", "--nolockcheck"})
        plan.arguments << QLatin1String(a);
    plan.arguments << QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(launch_.pipeName);
    for (const QString& e : CurrentEnvironment())
        if (!e.startsWith(QLatin1String("TMPDIR=")) && !e.startsWith(QLatin1String("SAL_ENABLE_FILE_LOCKING=")))
            plan.environment << e;
    plan.environment << QStringLiteral("TMPDIR=") + launch_.tempDir;
    // What the launcher script sets for the office (locking itself is off in
    // the profile).
    plan.environment << QStringLiteral("SAL_ENABLE_FILE_LOCKING=1");
    plan.memoryLimit = launch_.memoryLimit;
    plan.ownNetwork = launch_.ownNetwork;
    pid_t pid = -1;
    try {
        pid = SpawnChild(plan);
    } catch (const std::system_error&) {
        throw EngineError(errtext::kCannotCreate);
    }
    {
        std::lock_guard lock(mutex_);
        pid_ = pid;
        reaped_ = false;
        RegisterGroup(pid);
    }
    if (launch_.memoryLimit > 0 && !sampling_.exchange(true)) sampler_ = std::thread([this] { sampleMemory(); });
}

void OfficeProcess::sampleMemory()
{
    // Growing by a hundred megabytes a second at worst, it is seen within a
    // few percent of its limit before it reaches it.
    while (sampling_) {
        const pid_t sampled = pid();
        QFile status(QStringLiteral("/proc/%1/status").arg(sampled));
        if (sampled > 0 && status.open(QIODevice::ReadOnly)) {
            for (const QByteArray& line : status.readAll().split('\n'))
                if (line.startsWith("VmSize:")) {
                    const unsigned long long bytes = line.mid(7).trimmed().split(' ').value(0).toULongLong() * 1024;
                    if (bytes > peakMemory_) peakMemory_ = bytes;
                }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

bool OfficeProcess::nearMemoryLimit() const
{
    return launch_.memoryLimit > 0 && peakMemory_ >= launch_.memoryLimit / 10 * 9;
}

bool OfficeProcess::inOwnNetwork() const
{
    // "net:[inode]": a namespace's identity.
    const auto network = [](const QByteArray& process) {
        char target[64] = {};
        const ssize_t n = ::readlink(("/proc/" + process + "/ns/net").constData(), target, sizeof target - 1);
        return n > 0 ? QByteArray(target, int(n)) : QByteArray();
    };
    const QByteArray its = network(QByteArray::number(pid()));
    return !its.isEmpty() && its != network("self");
}

void OfficeProcess::startGuardian()
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw EngineError(errtext::kCannotCreate);
    ChildPlan plan;
    plan.program = QStringLiteral("/bin/sh");
    // Reads until the pipe closes (this program ended, however), then ends
    // the office's whole session.
    plan.arguments << QStringLiteral("-c") << QStringLiteral("while read -r _; do :; done; kill -s KILL -- \"-$1\"")
                   << QStringLiteral("marigal-office-guard") << QString::number(pid());
    plan.environment << QStringLiteral("PATH=/usr/bin:/bin");
    plan.dieWithParent = false;
    plan.input = fds[0];
    try {
        guardian_ = SpawnChild(plan);
    } catch (const std::system_error&) {
        ::close(fds[0]);
        ::close(fds[1]);
        throw EngineError(errtext::kCannotCreate);
    }
    ::close(fds[0]);
    guardianPipe_ = fds[1];
}

void OfficeProcess::endGuardian()
{
    // Killed before its pipe closes: once the office is reaped its group id
    // may belong to someone else.
    if (guardian_ > 0) {
        ::kill(guardian_, SIGKILL);
        ::waitpid(guardian_, nullptr, 0);
        guardian_ = -1;
    }
    if (guardianPipe_ >= 0) {
        ::close(guardianPipe_);
        guardianPipe_ = -1;
    }
}

OfficeProcess::~OfficeProcess()
{
    stop(Clock::now());
    sampling_ = false;
    if (sampler_.joinable()) sampler_.join();
}

pid_t OfficeProcess::pid() const
{
    std::lock_guard lock(mutex_);
    return pid_;
}

std::optional<int> OfficeProcess::exitStatus() const
{
    std::lock_guard lock(mutex_);
    if (pid_ <= 0 || reaped_) return -1;
    siginfo_t info{};
    // WNOWAIT: look without reaping, so the group id stays ours.
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != pid_)
        return std::nullopt;
    return info.si_code == CLD_EXITED ? info.si_status : -1;
}

bool OfficeProcess::exited() const
{
    return exitStatus().has_value();
}

bool OfficeProcess::restartRequested() const
{
    const std::optional<int> status = exitStatus();
    return direct() && status && (*status == kRestartAfterSetup || *status == kRestartAfterCrash);
}

void OfficeProcess::restart()
{
    {
        std::lock_guard lock(mutex_);
        if (!reaped_) {
            // Whatever of its group is left goes before the new start.
            ::kill(-pid_, SIGKILL);
            UnregisterGroup(pid_);
            ::waitpid(pid_, nullptr, 0);
            reaped_ = true;
        }
    }
    QFile::remove(oslPipePath(launch_.pipeName));
    spawn();
}

void OfficeProcess::kill()
{
    std::lock_guard lock(mutex_);
    if (!reaped_ && pid_ > 0) ::kill(-pid_, SIGKILL);
}

void OfficeProcess::stop(Clock::time_point deadline)
{
    if (stopped_) return;
    stopped_ = true;

    while (pid() > 0 && !exited() && Clock::now() < deadline) std::this_thread::sleep_for(kPoll);
    // Whatever is left: the office that did not end in time, or soffice.bin
    // when only the launcher ended.
    kill();
    if (const pid_t killed = pid(); killed > 0) UnregisterGroup(killed);

    const auto reapBy = Clock::now() + kReapBound;
    while (pid() > 0 && !exited() && Clock::now() < reapBy) std::this_thread::sleep_for(kPoll);
    pid_t group = -1;
    {
        std::lock_guard lock(mutex_);
        int status = 0;
        if (pid_ > 0 && !reaped_ && ::waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
        group = pid_;
    }

    const auto groupBy = Clock::now() + kGroupBound;
    while (group > 0 && groupRuns(group) && Clock::now() < groupBy) std::this_thread::sleep_for(kPoll);
    endGuardian();

    // The office removes these when it ends well; not when it is killed.
    QFile::remove(oslPipePath(launch_.pipeName));
    QFile::remove(oslPipePath(singleInstancePipeName(launch_.installationUrl)));
    removeTree(launch_.tempDir);
}

void KillAllOfficesNow() noexcept
{
    for (auto& slot : g_officeGroups)
        if (const pid_t group = slot.load(); group > 0) ::kill(-group, SIGKILL);
}

QString OfficeProcess::uniquePipeName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("marigal-%1-%2-%3")
        .arg(::getpid())
        .arg(counter.fetch_add(1))
        .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0'));
}

void killStrays(const QString& installationUrl)
{
    const QByteArray arg = QStringLiteral("-env:UserInstallation=%1").arg(installationUrl).toUtf8();
    std::vector<pid_t> strays = processesWithArg(arg);
    if (strays.empty()) return;
    qCWarning(lcOffice).noquote() << QStringLiteral("an office left running on %1 by a program that ended: killed")
                                         .arg(installationUrl);
    for (pid_t pid : strays) {
        // A launcher leads its own group: take soffice.bin with it.
        if (::getpgid(pid) == pid) ::kill(-pid, SIGKILL);
        else ::kill(pid, SIGKILL);
    }
    // Until they are gone (a dead process shows an empty command line) the
    // new office would hand itself over to them.
    const auto by = OfficeProcess::Clock::now() + kReapBound;
    while (!processesWithArg(arg).empty() && OfficeProcess::Clock::now() < by) std::this_thread::sleep_for(kPoll);
}

void removeStalePipes()
{
    const QFileInfo sample(oslPipePath(QStringLiteral("marigal-")));
    const QString prefix = sample.fileName();
    for (const QFileInfo& pipe : QDir(sample.absolutePath()).entryInfoList({prefix + QStringLiteral("*")}, QDir::System)) {
        // OSL_PIPE_<uid>_marigal-<pid>-<n>-<random>
        bool numeric = false;
        const pid_t owner = pipe.fileName().mid(prefix.size()).section(QLatin1Char('-'), 0, 0).toInt(&numeric);
        struct stat st {};
        const QByteArray path = QFile::encodeName(pipe.absoluteFilePath());
        if (!numeric || owner <= 0 || ::lstat(path.constData(), &st) != 0 || !S_ISSOCK(st.st_mode) ||
            st.st_uid != ::getuid())
            continue;
        if (!processRuns(owner) && ::unlink(path.constData()) == 0)
            qCInfo(lcOffice).noquote() << QStringLiteral("removed %1, left by a program that ended").arg(pipe.fileName());
    }
}

QString oslPipePath(const QString& pipeName)
{
    // The office's runtime puts them in /tmp, or /var/tmp when /tmp is not writable.
    const QString dir = ::access("/tmp", W_OK) == 0 ? QStringLiteral("/tmp") : QStringLiteral("/var/tmp");
    return QStringLiteral("%1/OSL_PIPE_%2_%3").arg(dir).arg(::getuid()).arg(pipeName);
}

QString singleInstancePipeName(const QString& installationUrl)
{
    // MD5 of the profile URL in UTF-16, each byte in hex without padding.
    const QByteArray utf16(reinterpret_cast<const char*>(installationUrl.utf16()), installationUrl.size() * 2);
    const QByteArray digest = QCryptographicHash::hash(utf16, QCryptographicHash::Md5);
    QString hex;
    for (const char c : digest) hex += QString::number(static_cast<unsigned char>(c), 16);
    return QStringLiteral("SingleOfficeIPC_") + hex;
}

}  // namespace marigal::engine::lo
