// The windows as a screen reader meets them: the main window and the preview
// with a card made, on an X server of the test's own, read from the
// accessibility registry over an accessibility bus of the test's own. Every
// control has a name a reader can say, and the card picture says which card
// it shows.

#include <QByteArray>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QString kLauncher = QStringLiteral("/usr/libexec/at-spi-bus-launcher");
const QString kAccessible = QStringLiteral("org.a11y.atspi.Accessible");

// The pids of `roots`, their process groups and everything descended from
// them, as /proc shows them now (zombies aside).
std::set<pid_t> Family(const std::vector<pid_t>& roots)
{
    struct Proc { pid_t pid, ppid, pgrp; };
    std::vector<Proc> all;
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number) continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // pid (comm) state ppid pgrp ...; the command may hold blanks.
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (rest.size() < 3 || rest[0] == "Z") continue;
        all.push_back({pid, pid_t(rest[1].toInt()), pid_t(rest[2].toInt())});
    }
    std::set<pid_t> family(roots.begin(), roots.end());
    for (bool grew = true; grew;) {
        grew = false;
        for (const Proc& p : all) {
            if (family.count(p.pid)) continue;
            if (family.count(p.ppid) || std::count(roots.begin(), roots.end(), p.pgrp)) {
                family.insert(p.pid);
                grew = true;
            }
        }
    }
    std::set<pid_t> living;
    for (pid_t pid : family)
        for (const Proc& p : all)
            if (p.pid == pid) living.insert(pid);
    return living;
}

// The programs one test starts, each leading a process group of its own and
// ended with it; with everything they started, they go when the test does.
class Started {
public:
    ~Started() { endAll(); }

    QProcess& start(const QString& program, const QStringList& args, const QProcessEnvironment& env)
    {
        auto p = std::make_unique<QProcess>();
        p->setProgram(program);
        p->setArguments(args);
        p->setProcessEnvironment(env);
        p->setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);  // should the test itself be killed
        });
        p->start();
        if (!p->waitForStarted(10000)) ADD_FAILURE() << qPrintable(program) << " did not start";
        else roots_.push_back(pid_t(p->processId()));
        processes_.push_back(std::move(p));
        return *processes_.back();
    }

    // Ends what was started, the latest first, and says what outlived it.
    void endAll()
    {
        if (processes_.empty()) return;
        for (int sig : {SIGTERM, SIGKILL}) {
            const std::set<pid_t> family = Family(roots_);
            for (pid_t pid : family) ::kill(pid, sig);
            const QDeadlineTimer deadline(5000);
            while (!Family(roots_).empty() && !deadline.hasExpired()) {
                for (auto& p : processes_) p->waitForFinished(50);
            }
            if (Family(roots_).empty()) break;
        }
        for (auto& p : processes_) p->waitForFinished(1000);
        const std::set<pid_t> left = Family(roots_);
        EXPECT_TRUE(left.empty()) << left.size() << " process(es) of the test outlived it";
        processes_.clear();
        roots_.clear();
    }

private:
    std::vector<std::unique_ptr<QProcess>> processes_;
    std::vector<pid_t> roots_;
};

// One line the program writes on its standard output, within `ms`.
QByteArray LineFrom(QProcess& p, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!p.canReadLine() && p.state() == QProcess::Running && !deadline.hasExpired())
        p.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    return p.canReadLine() ? p.readLine().trimmed() : QByteArray();
}

struct Node {
    QString service, path;
};

struct Control {
    QString role, name, description;
};

class Reader {
public:
    explicit Reader(QDBusConnection bus) : bus_(std::move(bus)) {}

    QDBusMessage call(const Node& n, const QString& iface, const QString& method, const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(n.service, n.path, iface, method);
        m.setArguments(args);
        return bus_.call(m, QDBus::Block, 10000);
    }

    QString text(const Node& n, const QString& property)
    {
        const QDBusMessage r = call(n, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                                    {kAccessible, property});
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return QString();
        return r.arguments().first().value<QDBusVariant>().variant().toString();
    }

    QString role(const Node& n)
    {
        const QDBusMessage r = call(n, kAccessible, QStringLiteral("GetRoleName"));
        return r.arguments().isEmpty() ? QString() : r.arguments().first().toString();
    }

    std::vector<Node> children(const Node& n)
    {
        std::vector<Node> out;
        const QDBusMessage r = call(n, kAccessible, QStringLiteral("GetChildren"));
        if (r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return out;
        const QDBusArgument array = r.arguments().first().value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            Node child;
            QDBusObjectPath path;
            array.beginStructure();
            array >> child.service >> path;
            array.endStructure();
            child.path = path.path();
            out.push_back(child);
        }
        array.endArray();
        return out;
    }

    void walk(const Node& n, std::vector<Control>& out, int depth = 0)
    {
        if (depth > 30) return;
        out.push_back({role(n), text(n, QStringLiteral("Name")), text(n, QStringLiteral("Description"))});
        for (const Node& child : children(n)) walk(child, out, depth + 1);
    }

private:
    QDBusConnection bus_;
};

QString Missing()
{
    for (const QString& tool : {QStringLiteral("Xvfb"), QStringLiteral("dbus-daemon")})
        if (QStandardPaths::findExecutable(tool).isEmpty()) return tool + QStringLiteral(" (xvfb, dbus-daemon)");
    if (!QFileInfo(kLauncher).isExecutable()) return kLauncher + QStringLiteral(" (at-spi2-core)");
    return QString();
}

}  // namespace

TEST(AccessibleNames, EveryControlOfBothWindowsHasANameAndTheCardSaysWhichCardItIs)
{
    if (const QString missing = Missing(); !missing.isEmpty())
        GTEST_SKIP() << "needs " << qPrintable(missing);

    // HOME, the runtime folder and the screen's files, all the test's own.
    QTemporaryDir own;
    ASSERT_TRUE(own.isValid());
    const QString home = own.filePath(QStringLiteral("home"));
    const QString runtime = own.filePath(QStringLiteral("runtime"));
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH", QStringLiteral("/usr/bin:/bin")));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("TMPDIR"), own.path());
    env.insert(QStringLiteral("TEMP"), own.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/.config"));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache"));
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/.local/share"));
    env.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));

    Started started;
    // A free display, which the server picks and reports.
    QProcess& x = started.start(QStandardPaths::findExecutable(QStringLiteral("Xvfb")),
                                {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                                 QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                                 QStringLiteral("1280x1024x24")},
                                env);
    const QByteArray display = LineFrom(x, 20000);
    ASSERT_FALSE(display.isEmpty()) << "Xvfb reported no display: " << x.readAllStandardError().constData();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display));

    QProcess& session = started.start(QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")),
                                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                       QStringLiteral("--print-address=1")},
                                      env);
    const QString sessionAddress = QString::fromLatin1(LineFrom(session, 20000));
    ASSERT_FALSE(sessionAddress.isEmpty()) << session.readAllStandardError().constData();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionAddress);
    started.start(kLauncher, {}, env);

    // The accessibility bus, as an assistive technology finds it.
    const QString tag = QStringLiteral("-%1").arg(::getpid());
    QDBusConnection sessionBus = QDBusConnection::connectToBus(sessionAddress, QStringLiteral("session") + tag);
    ASSERT_TRUE(sessionBus.isConnected());
    QString a11yAddress;
    for (const QDeadlineTimer deadline(20000); a11yAddress.isEmpty() && !deadline.hasExpired();) {
        const QDBusMessage r = sessionBus.call(QDBusMessage::createMethodCall(
            QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"), QStringLiteral("org.a11y.Bus"),
            QStringLiteral("GetAddress")));
        if (r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty())
            a11yAddress = r.arguments().first().toString();
        else
            QThread::msleep(100);
    }
    ASSERT_FALSE(a11yAddress.isEmpty()) << "no accessibility bus";
    QDBusConnection a11yBus = QDBusConnection::connectToBus(a11yAddress, QStringLiteral("a11y") + tag);
    ASSERT_TRUE(a11yBus.isConnected());

    QProcessEnvironment appEnv = env;
    appEnv.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    appEnv.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    QProcess& app = started.start(QStringLiteral(WINDOWS_SHOWN), {QStringLiteral(MARIGAL_APP_DIR "/designs")}, appEnv);
    ASSERT_EQ(LineFrom(app, 60000), "shown") << app.readAllStandardError().constData();

    // The application as the registry lists it, once both windows are in it.
    Reader reader(a11yBus);
    const Node registry{QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root")};
    std::vector<Control> controls;
    for (const QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(200)) {
        controls.clear();
        int windows = 0;
        for (const Node& application : reader.children(registry)) {
            for (const Node& window : reader.children(application)) {
                ++windows;
                reader.walk(window, controls);
            }
        }
        if (windows >= 2) break;
    }
    ASSERT_FALSE(controls.empty()) << "the registry lists no window of the program";

    const std::set<QString> kinds = {QStringLiteral("push button"), QStringLiteral("text"),
                                     QStringLiteral("entry"),       QStringLiteral("combo box"),
                                     QStringLiteral("list"),        QStringLiteral("radio button"),
                                     QStringLiteral("check box"),   QStringLiteral("scroll bar"),
                                     QStringLiteral("image"),       QStringLiteral("graphic")};
    std::map<QString, int> counted;
    for (const Control& c : controls) {
        if (!kinds.count(c.role)) continue;
        ++counted[c.role];
        const QString said = c.name.trimmed();
        EXPECT_FALSE(said.isEmpty()) << qPrintable(c.role) << " without a name";
        EXPECT_TRUE(said != QStringLiteral("...")) << qPrintable(c.role) << " named \"...\"";
        EXPECT_FALSE(said.startsWith(QLatin1Char('<'))) << qPrintable(c.role) << " named \"" << qPrintable(said)
                                                        << "\"";
    }
    // Both windows were read: buttons of each, the fields, the options, the bars.
    EXPECT_EQ(counted[QStringLiteral("push button")], 8);
    EXPECT_EQ(counted[QStringLiteral("radio button")], 6);
    EXPECT_EQ(counted[QStringLiteral("scroll bar")], 2);

    const auto find = [&](const QString& role, const QString& name) -> const Control* {
        for (const Control& c : controls)
            if (c.role == role && c.name == name) return &c;
        return nullptr;
    };
    EXPECT_NE(find(QStringLiteral("push button"), QStringLiteral("Choose a photo")), nullptr);
    EXPECT_NE(find(QStringLiteral("push button"), QStringLiteral("Back")), nullptr);
    // Qt calls a picture's role "graphic"; the role itself is the image's.
    const Control* card = find(QStringLiteral("graphic"), QStringLiteral("The card"));
    if (!card) card = find(QStringLiteral("image"), QStringLiteral("The card"));
    EXPECT_NE(card, nullptr) << "no picture named \"The card\"";
    if (card) {
        EXPECT_EQ(card->description, QStringLiteral("Design: Clouds. Message: Happy birthday"));
    }

    if (::testing::Test::HasFailure()) {
        std::printf("what the reader met (role, name, description):\n");
        for (const Control& c : controls)
            std::printf("  %s \"%s\" \"%s\"\n", qPrintable(c.role), qPrintable(c.name), qPrintable(c.description));
    }

    app.closeWriteChannel();
    app.waitForFinished(10000);
    started.endAll();
}
