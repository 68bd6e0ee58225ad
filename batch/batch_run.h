#pragma once
// A list of cards made side by side: up to `jobs` threads, each with an
// office of its own (its own profile and working folder), serving its cards
// one after another. An office that dies is replaced and its card tried once
// more. The caller's thread watches: it prints what happens and may stop the
// run.

#include "batch/card_list.h"
#include "batch/card_maker.h"
#include "engine/backend.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace marigal::batch {

struct CardEvent {
    const CardOrder* card;
    CardOutcome outcome;
};

class BatchRun {
public:
    // Cards one office makes before a fresh one takes over: an office grows
    // by about 45 MB over a thousand cards; a fresh start costs half a second.
    static constexpr int kCardsPerOffice = 100;

    // `abortOffices` kills every office the backend started (from any thread).
    // `parts`: where each made card's PDF is kept for a combined one; empty: not kept.
    BatchRun(engine::Backend& backend, const std::vector<CardOrder>& cards, int jobs, bool force,
             std::function<void()> abortOffices, QString parts = QString());
    ~BatchRun();  // stops and waits
    BatchRun(const BatchRun&) = delete;
    BatchRun& operator=(const BatchRun&) = delete;

    // Waits up to `timeout` for the run to end; true once it has.
    bool wait(std::chrono::milliseconds timeout);
    // No card is begun any more; the cards being made are given up, their
    // offices ended.
    void stop();
    // What has happened since the last call, in order.
    std::vector<CardEvent> takeEvents();

    int made() const { return made_; }
    int failed() const { return failed_; }
    int total() const { return int(cards_.size()); }
    bool stopped() const { return stopping_; }
    // No office could be started by any job: the reason; empty otherwise.
    QString noOffice() const;

private:
    void job(int index, const QString& work);
    void report(const CardOrder& card, const CardOutcome& outcome, bool counted);

    engine::Backend& backend_;
    const std::vector<CardOrder>& cards_;
    bool force_;
    std::function<void()> abortOffices_;
    QString parts_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<size_t> pending_;
    std::vector<CardEvent> events_;
    int running_ = 0;        // jobs still at work
    int offices_ = 0;        // offices any job has started
    QString officeFailure_;  // why one could not be started
    std::atomic<int> made_{0}, failed_{0};
    std::atomic<bool> stopping_{false};
    std::vector<std::thread> threads_;
};

}  // namespace marigal::batch
