#include "engine/libreoffice/uno_bootstrap.h"

#include "engine/engine_error.h"
#include "engine/libreoffice/uno_strings.h"

#include <QDir>
#include <QTemporaryFile>
#include <QUrl>

#include <cppuhelper/bootstrap.hxx>

#include <csignal>
#include <mutex>

namespace marigal::engine::lo {

namespace {

QString fileUrl(const QString& path)
{
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

css::uno::Reference<css::uno::XComponentContext> bootstrap()
{
    // The runtime linked in (see RPATH) must load components and types of its
    // own installation, whatever office a backend is told to start.
    const QString program = QStringLiteral(MARIGAL_LO_PROGRAM_DIR);

    // The bootstrap reads its settings from an ini file, once; the file is
    // ours and goes as soon as the context exists.
    QTemporaryFile ini(QDir::tempPath() + QStringLiteral("/marigal-uno-XXXXXX.ini"));
    if (!ini.open()) throw EngineError(errtext::kCannotCreate);
    const QString text = QStringLiteral(
                             "[Bootstrap]\n"
                             "URE_INTERNAL_LIB_DIR=%1\n"
                             "UNO_TYPES=%2 %3\n"
                             "UNO_SERVICES=%4\n")
                             .arg(fileUrl(program), fileUrl(program + QStringLiteral("/types.rdb")),
                                  fileUrl(program + QStringLiteral("/types/offapi.rdb")),
                                  fileUrl(program + QStringLiteral("/services.rdb")));
    if (ini.write(text.toUtf8()) < 0 || !ini.flush()) throw EngineError(errtext::kCannotCreate);

    try {
        return cppu::defaultBootstrap_InitialComponentContext(toOUString(fileUrl(ini.fileName())));
    } catch (const cppu::BootstrapException&) {
    } catch (const css::uno::Exception&) {
    }
    throw EngineError(errtext::kCannotCreate);
}

}  // namespace

css::uno::Reference<css::uno::XComponentContext> localUnoContext()
{
    static std::mutex mutex;
    // Never released: disposing the context at exit races the runtime's own
    // teardown, and the process is ending anyway.
    static css::uno::Reference<css::uno::XComponentContext>* context = nullptr;

    std::lock_guard lock(mutex);
    if (!context) {
        // A bridge writing to an office that has just died must get EPIPE,
        // not a signal that ends this program. Left alone if the program
        // handles SIGPIPE itself.
        struct sigaction current {};
        if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
            ::signal(SIGPIPE, SIG_IGN);
        context = new css::uno::Reference<css::uno::XComponentContext>(bootstrap());
    }
    return *context;
}

}  // namespace marigal::engine::lo
