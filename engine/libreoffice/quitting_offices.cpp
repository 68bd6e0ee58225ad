#include "engine/libreoffice/quitting_offices.h"

#include "engine/libreoffice/office_log.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace marigal::engine::lo {

namespace {

using Clock = OfficeProcess::Clock;
using namespace std::chrono_literals;

struct Quitting {
    std::unique_ptr<OfficeProcess> process;
    std::unique_ptr<ProfileSlot> slot;
    Clock::time_point deadline;
};

struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Quitting> offices;
    bool reaping = false;  // the thread runs
};

// Never destroyed: an office still quitting at the program's end dies with it.
State& state()
{
    static State* s = new State;
    return *s;
}

void reap()
{
    State& s = state();
    std::unique_lock lock(s.mutex);
    while (!s.offices.empty()) {
        for (auto it = s.offices.begin(); it != s.offices.end();) {
            const bool ended = it->process->exited();
            if (ended || Clock::now() >= it->deadline) {
                Quitting done = std::move(*it);
                if (ended) qCInfo(lcOffice) << "office" << done.process->pid() << "ended";
                else qCWarning(lcOffice) << "office" << done.process->pid() << "did not end after quitting: killed";
                it = s.offices.erase(it);
                lock.unlock();
                done.process->stop(Clock::now());  // kills what is left, reaps, cleans up
                done.process.reset();
                done.slot.reset();  // only now may another office use the profile
                lock.lock();
            } else {
                ++it;
            }
        }
        s.changed.notify_all();
        if (!s.offices.empty()) s.changed.wait_for(lock, 5ms);
    }
    s.reaping = false;
    s.changed.notify_all();
}

}  // namespace

void QuittingOffices::adopt(std::unique_ptr<OfficeProcess> process, std::unique_ptr<ProfileSlot> slot,
                            Clock::time_point deadline)
{
    State& s = state();
    std::lock_guard lock(s.mutex);
    s.offices.push_back({std::move(process), std::move(slot), deadline});
    if (!s.reaping) {
        s.reaping = true;
        std::thread(reap).detach();
    }
    s.changed.notify_all();
}

void QuittingOffices::waitAll()
{
    State& s = state();
    std::unique_lock lock(s.mutex);
    s.changed.wait(lock, [&] { return !s.reaping; });
}

}  // namespace marigal::engine::lo
