#include "engine/libreoffice/watchdog.h"

namespace marigal::engine::lo {

Watchdog::Watchdog(std::function<void()> onExpiry) : onExpiry_(std::move(onExpiry)), thread_([this] { run(); }) {}

Watchdog::~Watchdog()
{
    {
        std::lock_guard lock(mutex_);
        quitting_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

// Armed and disarmed around every call, hundreds a card: the thread is woken
// only when the new deadline comes before the one it sleeps until. Woken at
// an old one, it finds the deadline gone or later and sleeps again.
void Watchdog::arm(Clock::time_point deadline)
{
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        deadline_ = deadline;
        fired_ = false;
        wake = !sleepsUntil_ || deadline < *sleepsUntil_;
    }
    if (wake) changed_.notify_all();
}

void Watchdog::disarm()
{
    std::lock_guard lock(mutex_);
    deadline_.reset();
}

bool Watchdog::fired() const
{
    std::lock_guard lock(mutex_);
    return fired_;
}

void Watchdog::run()
{
    std::unique_lock lock(mutex_);
    while (!quitting_) {
        if (!deadline_) {
            sleepsUntil_.reset();
            changed_.wait(lock);
            continue;
        }
        if (Clock::now() < *deadline_) {
            sleepsUntil_ = *deadline_;
            changed_.wait_until(lock, *deadline_);
            continue;
        }
        deadline_.reset();
        fired_ = true;
        // Under the lock: a disarm() that returns has either prevented the
        // expiry or seen it complete.
        onExpiry_();
    }
}

}  // namespace marigal::engine::lo
