#pragma once
// Starting child processes that cannot outlive this program.
//
// A child asks the kernel for SIGKILL when its parent ends (the parent-death
// signal). That signal follows the *thread* that forked, not the process, so
// every child is forked by one thread that lives as long as the program; a
// child started from a short-lived worker thread would otherwise be killed
// when that thread ends.

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace marigal::engine::lo {

struct ChildPlan {
    QString program;          // run as it is, no PATH search
    QStringList arguments;    // argv[1...]
    QStringList environment;  // the child's whole environment, "NAME=value"
    // SIGKILL when this program ends, however it ends (kill -9 included).
    bool dieWithParent = true;
    // The child's standard input; -1: /dev/null. Output goes to /dev/null.
    int input = -1;
    // Its address space at most this many bytes (0: as ours).
    unsigned long long memoryLimit = 0;
    // A network of its own, with nothing in it (where the system lets a
    // process have one: as root, or through a user namespace).
    bool ownNetwork = false;
};

// Forks and executes the child in a session (process group) of its own, with
// default signal handling and no descriptor of ours but `input`. Returns its
// pid. Raises std::system_error when it cannot be started (the program not
// found or not executable included: the child reports the exec's failure
// back before this returns).
pid_t SpawnChild(const ChildPlan& plan);

// This program's environment, "NAME=value" each.
QStringList CurrentEnvironment();

}  // namespace marigal::engine::lo
