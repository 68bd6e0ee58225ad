#include "libreoffice/office_process.h"

#include "engine_error.h"

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
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// argv/envp for posix_spawn: built before the spawn, kept alive across it.
class CStrings {
public:
    void add(const QString& s) { owned_.push_back(QFile::encodeName(s).toStdString()); }
    void addRaw(const char* s) { owned_.emplace_back(s); }
    char** data()
    {
        ptrs_.clear();
        for (std::string& s : owned_) ptrs_.push_back(s.data());
        ptrs_.push_back(nullptr);
        return ptrs_.data();
    }

private:
    std::vector<std::string> owned_;
    std::vector<char*> ptrs_;
};

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

// Whether a process of the group is still running. Zombies do not count:
// a killed soffice.bin, orphaned, waits for init to reap it, which some
// inits (containers, VMs) do only every few seconds.
bool groupRuns(pid_t pgid)
{
    if (::kill(-pgid, 0) != 0) return false;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& name : entries) {
        QFile f(QStringLiteral("/proc/%1/stat").arg(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        // "pid (comm) state ppid pgrp ...": comm may hold spaces and parentheses.
        const QByteArray stat = f.readAll();
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 2 && fields[2].toInt() == pgid && fields[0] != "Z" && fields[0] != "X") return true;
    }
    return false;
}

}  // namespace

OfficeProcess::OfficeProcess(OfficeLaunch launch) : launch_(std::move(launch))
{
    removeTree(launch_.tempDir);
    if (!QDir().mkpath(launch_.tempDir)) throw EngineError(errtext::kCannotCreate);

    CStrings argv;
    argv.add(launch_.soffice);
    for (const char* a : {"--headless", "--invisible", "--norestore", "--nologo", "--nodefault", "--nolockcheck"})
        argv.addRaw(a);
    argv.add(QStringLiteral("-env:UserInstallation=") + launch_.installationUrl);
    argv.add(QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(launch_.pipeName));

    CStrings envp;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "TMPDIR=", 7) != 0) envp.addRaw(*e);
    envp.add(QStringLiteral("TMPDIR=") + launch_.tempDir);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // The office talks over its pipe only; its chatter on stderr is noise.
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // Own session (hence process group); signals as a fresh process has them,
    // whatever this program blocks or ignores (SIGPIPE, say).
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    char** args = argv.data();
    const int rc = ::posix_spawn(&pid, args[0], &actions, &attr, args, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        removeTree(launch_.tempDir);
        throw EngineError(errtext::kCannotCreate);
    }
    pid_ = pid;
}

OfficeProcess::~OfficeProcess()
{
    stop(Clock::now());
}

bool OfficeProcess::exited() const
{
    {
        std::lock_guard lock(mutex_);
        if (reaped_) return true;
    }
    siginfo_t info{};
    // WNOWAIT: look without reaping, so the group id stays ours.
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
}

void OfficeProcess::kill()
{
    std::lock_guard lock(mutex_);
    if (!reaped_) ::kill(-pid_, SIGKILL);
}

void OfficeProcess::stop(Clock::time_point deadline)
{
    if (stopped_) return;
    stopped_ = true;

    while (!exited() && Clock::now() < deadline) std::this_thread::sleep_for(kPoll);
    // Whatever is left: the office that did not end in time, or soffice.bin
    // when only the launcher ended.
    kill();

    const auto reapBy = Clock::now() + kReapBound;
    while (!exited() && Clock::now() < reapBy) std::this_thread::sleep_for(kPoll);
    {
        std::lock_guard lock(mutex_);
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) reaped_ = true;
    }

    const auto groupBy = Clock::now() + kGroupBound;
    while (groupRuns(pid_) && Clock::now() < groupBy) std::this_thread::sleep_for(kPoll);

    // The office removes these when it ends well; not when it is killed.
    QFile::remove(oslPipePath(launch_.pipeName));
    QFile::remove(oslPipePath(singleInstancePipeName(launch_.installationUrl)));
    removeTree(launch_.tempDir);
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
