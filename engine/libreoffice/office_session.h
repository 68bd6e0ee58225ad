#pragma once
// One private office and the connection to it: the single owner of the office
// process, its profile slot and the remote references. Every object of the
// application (the application itself, its documents, ...) holds the session
// through a shared_ptr; when the last one goes without Quit, the session quits
// (or kills) the office itself.
//
// Every call into the office goes through call(): it arms the watchdog around
// the call and turns the office's failures into EngineError:
//   - the call outlived the call bound: the office was killed as hung
//     -> "The remote procedure call failed."
//   - the office is gone (crashed, killed, quit) -> "The remote server
//     machine does not exist or is unavailable", now and for every later call
//   - the office is alive but the call raised -> "Automation error"
// A member that expects a particular UNO exception catches it inside its
// lambda and raises its own text.
//
// Not thread-safe: one thread drives a session at a time.

#include "engine/engine_error.h"
#include "engine/libreoffice/lo_options.h"
#include "engine/libreoffice/office_process.h"
#include "engine/libreoffice/profile_slot.h"
#include "engine/libreoffice/watchdog.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/graphic/XGraphicProvider.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>

namespace marigal::engine::lo {

// ($XDG_CACHE_HOME or ~/.cache)/marigal/office-profiles
QString defaultProfileRoot();

class OfficeSession {
public:
    // Starts an office on a free profile and connects to it. Raises
    // EngineError(kCannotCreate), having removed whatever it started, when the
    // office cannot be found, dies while starting or does not answer within
    // the start timeout; OfficeProfileError when no profile can be made.
    // `starting` is told of the session before its office starts, so that
    // abort() can stop a start that is under way.
    static std::shared_ptr<OfficeSession> start(
        const LibreOfficeOptions& options,
        const std::function<void(const std::shared_ptr<OfficeSession>&)>& starting = {});

    ~OfficeSession();  // quits the office when still running; never throws
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    // Neither quit nor lost.
    bool alive() const { return state_ == State::Running; }
    // Raises "The remote server machine does not exist or is unavailable"
    // unless alive; notices an office that has died since the last call.
    void ensureAlive();

    // Asks the office to end. One that agrees is waited for (up to the quit
    // timeout, then killed), reaped and its profile released in the
    // background (QuittingOffices); one that refuses or hangs is killed now.
    // Never throws, never leaves a process.
    void quit();

    // Kills the office now, from any thread: the call the owning thread is
    // blocked in returns with an error, and the session is then lost.
    void abort();

    // Runs `f` (UNO calls on this session's objects) under the call bound,
    // or under `bound` for the few calls that need longer.
    template <class F>
    auto call(F&& f) -> decltype(f())
    {
        return call(options_.callTimeout, std::forward<F>(f));
    }
    template <class F>
    auto call(std::chrono::milliseconds bound, F&& f) -> decltype(f());

    // The office's own component context and desktop (valid while alive).
    const css::uno::Reference<css::uno::XComponentContext>& context() const { return context_; }
    const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return desktop_; }

    // The office's temporary folder (its TMPDIR), removed when it ends.
    QString tempDir() const { return slot_ ? slot_->tempDir() : QString(); }

    // The office's graphic provider, made on first use: made anew for each
    // photo, it would cost a few calls to the office each time.
    css::uno::Reference<css::graphic::XGraphicProvider> graphicProvider();

    // Its office has a network of its own (asked for, and the system let it).
    bool inOwnNetwork() const { return process_ && process_->inOwnNetwork(); }

    // For diagnostics and tests.
    QString profileDir() const { return profileDir_; }
    pid_t processGroup() const { return process_ ? process_->pid() : -1; }
    const LibreOfficeOptions& options() const { return options_; }

private:
    enum class State { Starting, Running, Quit, Lost };

    explicit OfficeSession(LibreOfficeOptions options);
    void launch();
    // Takes a profile slot under `root`, made anew when it is not healthy;
    // true when the office will find a new profile there.
    bool takeProfile(const QString& root, const QString& soffice);
    void connect(OfficeProcess::Clock::time_point deadline);
    // The office is gone or killed: clean up everything now.
    void lose();
    void releaseOffice(OfficeProcess::Clock::time_point deadline);
    [[noreturn]] void raise(std::exception_ptr failure);
    bool bridgeAnswers();

    LibreOfficeOptions options_;
    State state_ = State::Starting;
    QString profileDir_;
    // Destroyed bottom-up: references, then watchdog (it kills through the
    // process), then the process (reaped), then the slot (unlocked last).
    std::unique_ptr<ProfileSlot> slot_;
    std::unique_ptr<OfficeProcess> process_;
    std::unique_ptr<Watchdog> watchdog_;
    std::mutex processMutex_;  // abort() against the process being handed on
    bool aborted_ = false;     // under processMutex_
    css::uno::Reference<css::uno::XComponentContext> context_;
    css::uno::Reference<css::frame::XDesktop2> desktop_;
    css::uno::Reference<css::graphic::XGraphicProvider> graphicProvider_;
};

template <class F>
auto OfficeSession::call(std::chrono::milliseconds bound, F&& f) -> decltype(f())
{
    ensureAlive();
    std::exception_ptr failure;
    {
        Watchdog::Scope armed(*watchdog_, bound);
        try {
            return std::forward<F>(f)();
        } catch (const css::uno::Exception&) {
            failure = std::current_exception();
        }
    }
    raise(failure);
}

}  // namespace marigal::engine::lo
