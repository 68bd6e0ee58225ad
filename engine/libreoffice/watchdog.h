#pragma once
// A deadline armed around each call into the office. UNO calls over a pipe
// never time out by themselves: a hung office would hang the program with it.
// When an armed deadline passes, the watchdog's thread runs `onExpiry` (which
// kills the office, so that the blocked call returns with an error).

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace marigal::engine::lo {

class Watchdog {
public:
    using Clock = std::chrono::steady_clock;

    explicit Watchdog(std::function<void()> onExpiry);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Replaces any armed deadline and clears fired().
    void arm(Clock::time_point deadline);
    void disarm();
    // The last armed deadline passed and onExpiry ran.
    bool fired() const;

    // Armed for one scope.
    class Scope {
    public:
        Scope(Watchdog& w, Clock::time_point deadline) : w_(w) { w_.arm(deadline); }
        Scope(Watchdog& w, std::chrono::milliseconds bound) : Scope(w, Clock::now() + bound) {}
        ~Scope() { w_.disarm(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        Watchdog& w_;
    };

private:
    void run();

    std::function<void()> onExpiry_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Clock::time_point> deadline_;
    std::optional<Clock::time_point> sleepsUntil_;  // what the thread waits for; none: a wake
    bool fired_ = false;
    bool quitting_ = false;
    std::thread thread_;
};

}  // namespace marigal::engine::lo
