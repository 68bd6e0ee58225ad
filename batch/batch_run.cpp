#include "batch/batch_run.h"

#include "common/files.h"

#include <QDir>

#include <csignal>
#include <pthread.h>

namespace marigal::batch {

BatchRun::BatchRun(engine::Backend& backend, const std::vector<CardOrder>& cards, int jobs, bool force,
                   std::function<void()> abortOffices, QString parts)
    : backend_(backend), cards_(cards), force_(force), abortOffices_(std::move(abortOffices)), parts_(std::move(parts))
{
    for (size_t i = 0; i < cards_.size(); ++i) pending_.push_back(i);
    const int n = std::max(1, std::min(jobs, int(cards_.size())));
    running_ = n;
    const QString work = RunFolder();  // made here, once: not for the threads to race over
    for (int i = 0; i < n; ++i)
        threads_.emplace_back([this, i, work] { job(i, work + QStringLiteral("/job%1").arg(i)); });
}

BatchRun::~BatchRun()
{
    if (!wait(std::chrono::milliseconds(0))) stop();
    for (std::thread& t : threads_) t.join();
}

bool BatchRun::wait(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return running_ == 0; });
}

void BatchRun::stop()
{
    stopping_ = true;
    if (abortOffices_) abortOffices_();
}

std::vector<CardEvent> BatchRun::takeEvents()
{
    std::lock_guard lock(mutex_);
    return std::exchange(events_, {});
}

QString BatchRun::noOffice() const
{
    std::lock_guard lock(mutex_);
    return offices_ == 0 && !officeFailure_.isEmpty() ? officeFailure_ : QString();
}

void BatchRun::report(const CardOrder& card, const CardOutcome& outcome, bool counted)
{
    if (counted) ++(outcome.made ? made_ : failed_);
    std::lock_guard lock(mutex_);
    events_.push_back({&card, outcome});
    changed_.notify_all();
}

namespace {

void quitOffice(engine::Object& word)
{
    if (!word) return;
    try {
        word.call(u"Quit");
    } catch (const std::exception&) {
        // Gone already; its session cleans up after it.
    }
    word.release();
}

}  // namespace

void BatchRun::job(int, const QString& work)
{
    // Signals are the watching thread's to take: on a job's thread one would
    // cut an office's call short and pass for the office lost. The offices
    // and helpers this thread starts inherit the mask.
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&blocked, sig);
    pthread_sigmask(SIG_BLOCK, &blocked, nullptr);

    // A working folder and an office of its own.
    QDir().mkpath(work);
    engine::Object word;
    const auto startOffice = [&]() -> QString {
        QString failure;
        try {
            word = backend_.create(engine::kWordProgId);
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
        std::lock_guard lock(mutex_);
        if (failure.isEmpty()) ++offices_;
        else officeFailure_ = failure;
        return failure;
    };
    if (!stopping_) startOffice();
    std::unique_ptr<CardMaker> maker;
    const auto newMaker = [&] {
        maker = std::make_unique<CardMaker>(word, work);
        if (!parts_.isEmpty()) maker->keepPdfsIn(parts_);
    };
    if (word) newMaker();
    int sinceStart = 0;

    while (word && !stopping_) {
        size_t next = 0;
        {
            std::lock_guard lock(mutex_);
            if (pending_.empty()) break;
            next = pending_.front();
            pending_.pop_front();
        }
        const CardOrder& card = cards_[next];
        // No card is begun after a stop.
        CardOutcome outcome = stopping_ ? CardOutcome{} : maker->make(card, force_);
        if (outcome.officeLost && !stopping_) {
            // Another office for it, and one more try unless the card itself
            // was too much for an office.
            word.release();
            maker.reset();
            if (const QString again = startOffice(); again.isEmpty()) {
                newMaker();
                sinceStart = 0;
                if (outcome.tryAgain) outcome = stopping_ ? CardOutcome{} : maker->make(card, force_);
            } else {
                outcome = {false, again, true};
            }
        }
        if (stopping_ && !outcome.made) {
            report(card, {false, QStringLiteral("not made: stopped"), false}, false);
            break;
        }
        report(card, outcome, true);
        // An office grows with the cards it has made: a fresh one now and
        // then keeps a long list's memory where its first card left it.
        if (++sinceStart >= kCardsPerOffice && !stopping_) {
            quitOffice(word);
            maker.reset();
            sinceStart = 0;
            if (!startOffice().isEmpty()) break;
            newMaker();
        }
    }
    quitOffice(word);
    maker.reset();
    std::unique_lock lock(mutex_);
    // The last job to end, offices having run but none able to go on: what
    // is left fails with the reason.
    if (running_ == 1 && offices_ > 0 && !stopping_) {
        const QString why = officeFailure_.isEmpty() ? QStringLiteral("not made") : officeFailure_;
        const std::deque<size_t> left = std::exchange(pending_, {});
        lock.unlock();
        for (const size_t i : left) report(cards_[i], {false, why, false}, true);
        lock.lock();
    }
    --running_;
    changed_.notify_all();
}

}  // namespace marigal::batch
