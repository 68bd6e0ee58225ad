#include "engine/libreoffice/office_session.h"

#include "engine/value.h"

#include "engine/libreoffice/office_install.h"
#include "engine/libreoffice/office_log.h"
#include "engine/libreoffice/quitting_offices.h"
#include "engine/libreoffice/uno_bootstrap.h"
#include "engine/libreoffice/uno_strings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/graphic/GraphicProvider.hpp>
#include <com/sun/star/lang/DisposedException.hpp>

#include <mutex>
#include <thread>

namespace marigal::engine::lo {

namespace {

using Clock = OfficeProcess::Clock;
using namespace std::chrono_literals;

// How often the office is asked whether it answers yet while it starts.
constexpr auto kConnectRetry = 25ms;
// Restarts an office may ask for while it starts; more is a loop.
constexpr int kMaxRestarts = 2;

}  // namespace

Q_LOGGING_CATEGORY(lcOffice, "marigal.office", QtWarningMsg)
Q_LOGGING_CATEGORY(lcOfficeTiming, "marigal.timing.office", QtWarningMsg)

QString defaultProfileRoot()
{
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || QDir::isRelativePath(cache)) cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/marigal/office-profiles");
}

std::shared_ptr<OfficeSession> OfficeSession::start(const LibreOfficeOptions& options,
                                                    const std::function<void(const std::shared_ptr<OfficeSession>&)>& starting)
{
    std::shared_ptr<OfficeSession> session(new OfficeSession(options));
    if (starting) starting(session);
    // When launch raises, the session's destructor removes what was started.
    try {
        session->launch();
    } catch (const EngineError&) {
        throw;
    } catch (const std::exception&) {
        throw EngineError(errtext::kCannotCreate);  // no thread, no memory, ...
    }
    return session;
}

OfficeSession::OfficeSession(LibreOfficeOptions options) : options_(std::move(options)) {}

OfficeSession::~OfficeSession()
{
    try {
        if (state_ == State::Running) quit();
        else releaseOffice(Clock::now());
    } catch (...) {
        // A destructor must not throw; every step above is bounded and the
        // members' own destructors still kill and reap.
    }
}

bool OfficeSession::takeProfile(const QString& root, const QString& soffice)
{
    // A profile the office has made before, rather than a new one (a new
    // one's first start is slow, and the office restarts itself on it): when
    // the only such profile is still held by an office on its way out, that
    // office is waited for.
    slot_ = ProfileSlot::acquire(root, true);
    if (!slot_) {
        QuittingOffices::waitAll();
        slot_ = ProfileSlot::acquire(root);
    }
    const QString installation = slot_->installationUrl();
    // Left by a holder of this profile that crashed: an office still running
    // here would take over our start, a stale socket would be tried first.
    killStrays(installation);
    QFile::remove(oslPipePath(singleInstancePipeName(installation)));
    // A profile that is not as we left it (damaged, or its settings lost) is
    // made anew: the office would otherwise start slowly every time, and
    // without our settings.
    if (slot_->healthy()) return false;
    if (QFileInfo::exists(slot_->dir() + QStringLiteral("/user")))
        qCWarning(lcOffice).noquote() << QStringLiteral("office profile %1 was damaged or had lost its settings: made anew")
                                             .arg(slot_->dir());
    slot_->clear();
    slot_->seed(installedVersion(programDirOf(soffice)));
    return true;
}

void OfficeSession::launch()
{
    const QString soffice = findSoffice(options_.sofficePath);
    if (soffice.isEmpty()) {
        qCWarning(lcOffice) << "no office found to start (soffice)";
        throw EngineError(errtext::kCannotCreate);
    }
    localUnoContext();  // first, so that its failure leaves nothing to undo
    // The usual place for profiles, else one in the private working folder.
    const QStringList roots{options_.profileRoot.isEmpty() ? defaultProfileRoot() : options_.profileRoot,
                            options_.fallbackProfileRoot};
    // Pipes left by offices of ours that were killed with their program.
    static std::once_flag swept;
    std::call_once(swept, [&] {
        removeStalePipes();
        for (const QString& root : roots)
            for (const QString& slot : root.isEmpty() ? QStringList() : ProfileSlot::freeSlots(root))
                QFile::remove(oslPipePath(singleInstancePipeName(QUrl::fromLocalFile(slot).toString(QUrl::FullyEncoded))));
    });

    QStringList problems;
    bool fresh = false;
    for (const QString& root : roots) {
        if (root.isEmpty()) continue;
        try {
            fresh = takeProfile(root, soffice);
            break;
        } catch (const OfficeProfileError& e) {
            slot_.reset();
            problems << Q(e.description());
            qCWarning(lcOffice).noquote() << QStringLiteral("no office profile here: %1").arg(problems.last());
        }
    }
    if (!slot_)
        throw OfficeProfileError(QStringLiteral("There is no place to keep the word processor's settings.\n\n") +
                                 problems.join(QLatin1Char('\n')));
    profileDir_ = slot_->dir();

    const auto started = Clock::now();
    const auto deadline = started + (fresh ? options_.firstStartTimeout : options_.startTimeout);
    const QString binary = options_.throughLauncher ? QString() : officeBinaryOf(soffice);
    auto process = std::make_unique<OfficeProcess>(
        OfficeLaunch{soffice, binary, slot_->installationUrl(), slot_->tempDir(), OfficeProcess::uniquePipeName(),
                     options_.memoryLimit, options_.ownNetwork});
    {
        std::lock_guard lock(processMutex_);
        process_ = std::move(process);
        // Stopped while it was being started: it answers no more.
        if (aborted_) process_->kill();
    }
    watchdog_ = std::make_unique<Watchdog>([process = process_.get()] { process->kill(); });

    connect(deadline);
    state_ = State::Running;
    qCInfo(lcOffice).noquote() << QStringLiteral("office %1 started on %2").arg(process_->pid()).arg(profileDir_);
    qCDebug(lcOfficeTiming).noquote()
        << QStringLiteral("office started %1 (%2) in %3 ms")
               .arg(process_->direct() ? QStringLiteral("directly") : QStringLiteral("through its launcher"),
                    fresh ? QStringLiteral("new profile") : QStringLiteral("its profile"))
               .arg(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
}

void OfficeSession::connect(Clock::time_point deadline)
{
    css::uno::Reference<css::bridge::XUnoUrlResolver> resolver;
    try {
        resolver = css::bridge::UnoUrlResolver::create(localUnoContext());
    } catch (const css::uno::Exception&) {
        throw EngineError(errtext::kCannotCreate);
    }
    const rtl::OUString url = toOUString(
        QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(process_->launch().pipeName));

    // Also bounds an office that accepts the connection and then hangs.
    Watchdog::Scope armed(*watchdog_, deadline);
    int restarts = 0;
    for (;;) {
        try {
            css::uno::Reference<css::uno::XComponentContext> context(resolver->resolve(url), css::uno::UNO_QUERY_THROW);
            desktop_ = css::frame::Desktop::create(context);
            context_ = context;
            return;
        } catch (const css::uno::Exception&) {
            // Not listening yet (NoConnectException), or the connection
            // dropped while the office was still starting up.
        }
        if (process_->restartRequested() && restarts < kMaxRestarts) {
            // What its launcher would do: a new profile's first start ends
            // asking for a second one.
            ++restarts;
            qCInfo(lcOffice) << "office" << process_->pid() << "asked to be started again";
            process_->restart();
            continue;
        }
        if (process_->exited() || watchdog_->fired() || Clock::now() >= deadline) {
            qCWarning(lcOffice).noquote()
                << QStringLiteral("office %1 on %2 %3")
                       .arg(process_->pid())
                       .arg(profileDir_)
                       .arg(process_->exited() && !watchdog_->fired() ? QStringLiteral("ended while it started")
                                                                     : QStringLiteral("did not answer in time: killed"));
            throw EngineError(errtext::kCannotCreate);
        }
        std::this_thread::sleep_for(kConnectRetry);
    }
}

void OfficeSession::ensureAlive()
{
    if (state_ == State::Running && process_->exited()) {
        qCWarning(lcOffice) << "office" << process_->pid() << "has ended by itself";
        lose();
    }
    if (state_ != State::Running) throw EngineError(errtext::kServerGone);
}

void OfficeSession::quit()
{
    if (state_ != State::Running) return;
    const auto deadline = Clock::now() + options_.quitTimeout;
    bool terminating = true;
    {
        Watchdog::Scope armed(*watchdog_, deadline);
        try {
            terminating = desktop_->terminate();
        } catch (const css::uno::Exception&) {
            // Usual: the office closes the connection before it answers.
        }
    }
    // A refusal leaves the office running, and a hang has been killed:
    // either way there is nothing to wait for. An office on its way out
    // writes its profile; that is waited for, and it is reaped, in the
    // background.
    const bool ending = terminating && !watchdog_->fired();
    if (ending) {
        desktop_.clear();
        graphicProvider_.clear();
        context_.clear();
        watchdog_.reset();
        std::unique_ptr<OfficeProcess> process;
        {
            std::lock_guard lock(processMutex_);
            process = std::move(process_);
        }
        QuittingOffices::adopt(std::move(process), std::move(slot_), deadline);
    } else {
        qCWarning(lcOffice) << "office" << processGroup() << "did not agree to quit: killed";
        releaseOffice(Clock::now());
    }
    state_ = State::Quit;
}

void OfficeSession::lose()
{
    releaseOffice(Clock::now());
    state_ = State::Lost;
}

void OfficeSession::releaseOffice(Clock::time_point deadline)
{
    // Proxies first: releasing them on a closed bridge is a no-op.
    desktop_.clear();
    graphicProvider_.clear();
    context_.clear();
    watchdog_.reset();
    if (process_) process_->stop(deadline);
    {
        std::lock_guard lock(processMutex_);
        process_.reset();
    }
    slot_.reset();  // only now may another office use the profile
}

css::uno::Reference<css::graphic::XGraphicProvider> OfficeSession::graphicProvider()
{
    if (!graphicProvider_.is()) graphicProvider_ = css::graphic::GraphicProvider::create(context_);
    return graphicProvider_;
}

void OfficeSession::abort()
{
    std::lock_guard lock(processMutex_);
    aborted_ = true;
    if (process_) process_->kill();
}

bool OfficeSession::bridgeAnswers()
{
    Watchdog::Scope armed(*watchdog_, options_.callTimeout);
    try {
        context_->getServiceManager();
        return true;
    } catch (const css::uno::Exception&) {
        return false;
    }
}

void OfficeSession::raise(std::exception_ptr failure)
{
    if (watchdog_->fired()) {
        qCWarning(lcOffice) << "office" << processGroup() << "did not answer a call in time: killed";
        lose();
        throw EngineError(errtext::kServerHung);
    }
    bool disposed = false;
    try {
        std::rethrow_exception(failure);
    } catch (const css::lang::DisposedException&) {
        disposed = true;
    } catch (const css::uno::Exception&) {
    }
    // Any other exception may still come from a connection that just closed:
    // a dead bridge refuses the probe at once.
    if (disposed || !bridgeAnswers()) {
        const bool hung = watchdog_->fired();
        const bool full = process_ && process_->nearMemoryLimit();
        qCWarning(lcOffice) << "office" << processGroup()
                            << (hung ? "stopped answering: killed" : full ? "ran out of memory" : "has gone");
        lose();
        throw EngineError(hung ? errtext::kServerHung : full ? errtext::kOutOfMemory : errtext::kServerGone);
    }
    throw EngineError(errtext::kAutomationError);
}

}  // namespace marigal::engine::lo
