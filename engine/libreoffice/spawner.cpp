#include "engine/libreoffice/spawner.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace marigal::engine::lo {

namespace {

// argv/envp built before the fork: the child may not allocate.
class CStrings {
public:
    void add(const QString& s) { owned_.push_back(QFile::encodeName(s).toStdString()); }
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

struct Request {
    char** argv = nullptr;
    char** envp = nullptr;
    bool dieWithParent = true;
    int input = -1;
    unsigned long long memoryLimit = 0;
    bool ownNetwork = false;
    // "<id> <id> 1": this user, and its group, as themselves in a user namespace.
    char uidMap[32] = {}, gidMap[32] = {};
    pid_t pid = -1;
    int error = 0;
    bool done = false;
};

// Writes `text` whole to the file at `path`; false when it cannot.
bool WriteSmall(const char* path, const char* text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const size_t n = ::strlen(text);
    const bool written = ::write(fd, text, n) == ssize_t(n);
    ::close(fd);
    return written;
}

// A network namespace of the child's own: directly where the system lets
// it (root), else inside a user namespace in which it stays itself.
// Whether it worked the parent tells from /proc.
void LeaveTheNetwork(const Request& r)
{
    if (::unshare(CLONE_NEWNET) == 0) return;
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return;
    WriteSmall("/proc/self/setgroups", "deny");
    WriteSmall("/proc/self/uid_map", r.uidMap);
    WriteSmall("/proc/self/gid_map", r.gidMap);
}

// Only async-signal-safe calls from here to the exec: the fork copied a
// program whose other threads may hold locks.
[[noreturn]] void RunChild(const Request& r, pid_t parent, int report)
{
    if (r.memoryLimit > 0) {
        const struct rlimit limit {rlim_t(r.memoryLimit), rlim_t(r.memoryLimit)};
        ::setrlimit(RLIMIT_AS, &limit);
    }
    if (r.ownNetwork) LeaveTheNetwork(r);
    if (r.dieWithParent) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);  // the parent ended before the line above
    }
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &dfl, nullptr);
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(r.input >= 0 ? r.input : null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    // Keep the exec report's pipe (close-on-exec) above the three.
    if (report <= 2 || ::dup2(report, 3) != 3) ::_exit(127);
    ::fcntl(3, F_SETFD, FD_CLOEXEC);
    ::close_range(4, ~0U, 0);
    ::execve(r.argv[0], r.argv, r.envp);
    const int err = errno;
    (void)!::write(3, &err, sizeof err);
    ::_exit(127);
}

void Fork(Request& r)
{
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        r.error = errno;
        return;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) RunChild(r, parent, report[1]);
    ::close(report[1]);
    if (pid < 0) {
        r.error = errno;
        ::close(report[0]);
        return;
    }
    // The pipe closes at a successful exec; an error number comes first
    // when the exec failed.
    int err = 0;
    ssize_t n;
    do {
        n = ::read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    ::close(report[0]);
    if (n == sizeof err) {
        ::waitpid(pid, nullptr, 0);
        r.error = err;
        return;
    }
    r.pid = pid;
}

class SpawnThread {
public:
    // Never destroyed: the thread's end would kill every child it started.
    static SpawnThread& instance()
    {
        static SpawnThread* spawner = new SpawnThread;
        return *spawner;
    }

    void spawn(Request& r)
    {
        std::unique_lock lock(mutex_);
        queue_.push_back(&r);
        wake_.notify_all();
        done_.wait(lock, [&] { return r.done; });
    }

private:
    SpawnThread()
    {
        std::thread([this] { run(); }).detach();
    }

    void run()
    {
        // Signals are for the program's other threads.
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return !queue_.empty(); });
            Request* r = queue_.front();
            queue_.pop_front();
            Fork(*r);
            r->done = true;
            done_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Request*> queue_;
};

}  // namespace

pid_t SpawnChild(const ChildPlan& plan)
{
    CStrings argv, envp;
    argv.add(plan.program);
    for (const QString& a : plan.arguments) argv.add(a);
    for (const QString& e : plan.environment) envp.add(e);
    Request r;
    r.argv = argv.data();
    r.envp = envp.data();
    r.dieWithParent = plan.dieWithParent;
    r.input = plan.input;
    r.memoryLimit = plan.memoryLimit;
    // The tests take the other way too: the office's own settings alone.
    r.ownNetwork = plan.ownNetwork && qEnvironmentVariableIsEmpty("MARIGAL_SHARED_NETWORK");
    std::snprintf(r.uidMap, sizeof r.uidMap, "%u %u 1", unsigned(::getuid()), unsigned(::getuid()));
    std::snprintf(r.gidMap, sizeof r.gidMap, "%u %u 1", unsigned(::getgid()), unsigned(::getgid()));
    SpawnThread::instance().spawn(r);
    if (r.error) throw std::system_error(r.error, std::generic_category());
    return r.pid;
}

QStringList CurrentEnvironment()
{
    QStringList env;
    for (char** e = environ; *e; ++e) env << QFile::decodeName(*e);
    return env;
}

}  // namespace marigal::engine::lo
