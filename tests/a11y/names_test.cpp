// The windows as a screen reader meets them: the main window and the preview
// with a card made, on an X server of the test's own, read from the
// accessibility registry over an accessibility bus of the test's own. Every
// control has a name a reader can say, and the card picture says which card
// it shows.

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

using namespace Qt::StringLiterals;

namespace {

const QString kLauncher = u"/usr/libexec/at-spi-bus-launcher"_s;
const QString kAccessible = u"org.a11y.atspi.Accessible"_s;

// The living processes of the groups `leaders` lead, and their descendants.
std::set<pid_t> Family(const std::vector<pid_t>& leaders)
{
    std::map<pid_t, std::pair<pid_t, pid_t>> procs;  // pid -> parent, group
    for (const QString& entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile stat(u"/proc/"_s + entry + u"/stat"_s);
        if (entry.toInt() <= 0 || !stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        // pid (command) state parent group ...; the command may hold blanks.
        const QList<QByteArray> f = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 2 && f[0] != "Z") procs[entry.toInt()] = {f[1].toInt(), f[2].toInt()};
    }
    std::set<pid_t> family;
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& [pid, pg] : procs) {
            const bool ours = family.count(pg.first) ||
                              std::find(leaders.begin(), leaders.end(), pg.second) != leaders.end();
            if (ours && family.insert(pid).second) grew = true;
        }
    }
    return family;
}

// What one test starts: each program leads a process group of its own, and
// goes, with all it started, when the test does (should the test be killed,
// the kernel ends the programs).
class Started {
public:
    ~Started() { endAll(); }

    QProcess& start(const QString& program, const QStringList& args, const QProcessEnvironment& env)
    {
        auto& p = *processes_.emplace_back(std::make_unique<QProcess>());
        p.setProcessEnvironment(env);
        p.setChildProcessModifier([] {
            ::setpgid(0, 0);
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        });
        p.start(program, args);
        if (p.waitForStarted(10000)) leaders_.push_back(pid_t(p.processId()));
        else ADD_FAILURE() << qPrintable(program) << " did not start";
        return p;
    }

    void endAll()
    {
        for (int sig : {SIGTERM, SIGKILL}) {
            for (pid_t pid : Family(leaders_)) ::kill(pid, sig);
            for (const QDeadlineTimer deadline(5000); !Family(leaders_).empty() && !deadline.hasExpired();)
                for (auto& p : processes_) p->waitForFinished(20);
        }
        EXPECT_TRUE(Family(leaders_).empty()) << "a process the test started outlived it";
        processes_.clear();
        leaders_.clear();
    }

private:
    std::vector<std::unique_ptr<QProcess>> processes_;
    std::vector<pid_t> leaders_;
};

// The first line a program writes, within `ms`.
QByteArray LineFrom(QProcess& p, int ms)
{
    for (const QDeadlineTimer deadline(ms); !p.canReadLine() && p.state() == QProcess::Running && !deadline.hasExpired();)
        p.waitForReadyRead(50);
    return p.canReadLine() ? p.readLine().trimmed() : QByteArray();
}

struct Node {
    QString service, path;
};

struct Control {
    QString role, name, description;
};

// An accessible object's side of the accessibility bus.
class Reader {
public:
    explicit Reader(const QDBusConnection& bus) : bus_(bus) {}

    QVariant call(const Node& n, const QString& iface, const QString& method, const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(n.service, n.path, iface, method);
        m.setArguments(args);
        const QDBusMessage r = bus_.call(m, QDBus::Block, 10000);
        return r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty() ? r.arguments().first() : QVariant();
    }

    QString property(const Node& n, const QString& name)
    {
        return call(n, u"org.freedesktop.DBus.Properties"_s, u"Get"_s, {kAccessible, name})
            .value<QDBusVariant>().variant().toString();
    }

    std::vector<Node> children(const Node& n)
    {
        std::vector<Node> out;
        const QVariant reply = call(n, kAccessible, u"GetChildren"_s);
        if (!reply.canConvert<QDBusArgument>()) return out;
        const QDBusArgument array = reply.value<QDBusArgument>();
        array.beginArray();
        while (!array.atEnd()) {
            QString service;
            QDBusObjectPath path;
            array.beginStructure();
            array >> service >> path;
            array.endStructure();
            out.push_back({service, path.path()});
        }
        array.endArray();
        return out;
    }

    void walk(const Node& n, std::vector<Control>& out)
    {
        out.push_back({call(n, kAccessible, u"GetRoleName"_s).toString(), property(n, u"Name"_s),
                       property(n, u"Description"_s)});
        for (const Node& child : children(n)) walk(child, out);
    }

private:
    QDBusConnection bus_;
};

}  // namespace

TEST(AccessibleNames, EveryControlOfBothWindowsHasANameAndTheCardSaysWhichCardItIs)
{
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
    const QString dbus = QStandardPaths::findExecutable(u"dbus-daemon"_s);
    if (xvfb.isEmpty() || dbus.isEmpty() || !QFileInfo(kLauncher).isExecutable())
        GTEST_SKIP() << "needs Xvfb (xvfb), dbus-daemon (dbus-daemon) and " << qPrintable(kLauncher)
                     << " (at-spi2-core)";

    // HOME and the runtime folder the buses and the program use: the test's own.
    QTemporaryDir own;
    ASSERT_TRUE(own.isValid());
    const QString home = own.filePath(u"home"_s), runtime = own.filePath(u"runtime"_s);
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env;
    env.insert(u"PATH"_s, qEnvironmentVariable("PATH", u"/usr/bin:/bin"_s));
    env.insert(u"HOME"_s, home);
    env.insert(u"TMPDIR"_s, own.path());
    env.insert(u"TEMP"_s, own.path());
    env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    env.insert(u"GSETTINGS_BACKEND"_s, u"memory"_s);

    Started started;
    // The server picks a free display and reports it.
    QProcess& x = started.start(xvfb, {u"-displayfd"_s, u"1"_s, u"-nolisten"_s, u"tcp"_s}, env);
    const QByteArray display = LineFrom(x, 20000);
    ASSERT_FALSE(display.isEmpty()) << "Xvfb reported no display: " << x.readAllStandardError().constData();
    env.insert(u"DISPLAY"_s, u":"_s + QString::fromLatin1(display));
    QProcess& session = started.start(dbus, {u"--session"_s, u"--nofork"_s, u"--print-address=1"_s}, env);
    const QString sessionAddress = QString::fromLatin1(LineFrom(session, 20000));
    ASSERT_FALSE(sessionAddress.isEmpty()) << session.readAllStandardError().constData();
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, sessionAddress);
    started.start(kLauncher, {}, env);

    // The accessibility bus, found as an assistive technology finds it.
    static int runs = 0;
    const QString tag = u"-%1-%2"_s.arg(::getpid()).arg(++runs);
    const QDBusConnection sessionBus = QDBusConnection::connectToBus(sessionAddress, u"session"_s + tag);
    QString a11yAddress;
    for (const QDeadlineTimer deadline(20000); a11yAddress.isEmpty() && !deadline.hasExpired(); QThread::msleep(50))
        a11yAddress = Reader(sessionBus).call({u"org.a11y.Bus"_s, u"/org/a11y/bus"_s}, u"org.a11y.Bus"_s,
                                              u"GetAddress"_s).toString();
    ASSERT_FALSE(a11yAddress.isEmpty()) << "no accessibility bus";
    Reader reader(QDBusConnection::connectToBus(a11yAddress, u"a11y"_s + tag));

    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    env.insert(u"QT_LINUX_ACCESSIBILITY_ALWAYS_ON"_s, u"1"_s);
    QProcess& app = started.start(QStringLiteral(WINDOWS_SHOWN), {QStringLiteral(MARIGAL_APP_DIR "/designs")}, env);
    ASSERT_EQ(LineFrom(app, 60000), "shown") << app.readAllStandardError().constData();

    // The program as the registry lists it, once both its windows are there.
    const Node registry{u"org.a11y.atspi.Registry"_s, u"/org/a11y/atspi/accessible/root"_s};
    std::vector<Control> controls;
    for (const QDeadlineTimer deadline(30000); !deadline.hasExpired(); QThread::msleep(200)) {
        controls.clear();
        int windows = 0;
        for (const Node& program : reader.children(registry))
            for (const Node& window : reader.children(program)) {
                ++windows;
                reader.walk(window, controls);
            }
        if (windows >= 2) break;
    }

    // Qt calls a picture's role "graphic" (the image role of AT-SPI).
    const std::set<QString> kinds = {u"push button"_s, u"text"_s,      u"entry"_s,      u"combo box"_s, u"list"_s,
                                     u"radio button"_s, u"check box"_s, u"scroll bar"_s, u"image"_s,     u"graphic"_s};
    std::map<QString, int> counted;
    for (const Control& c : controls) {
        if (!kinds.count(c.role)) continue;
        ++counted[c.role];
        const QString said = c.name.trimmed();
        EXPECT_TRUE(!said.isEmpty() && said != u"..."_s && !said.startsWith(u'<'))
            << qPrintable(c.role) << " named \"" << qPrintable(c.name) << "\"";
    }
    // Both windows were read: the buttons of each, the options, the bars.
    EXPECT_EQ(counted[u"push button"_s], 8);
    EXPECT_EQ(counted[u"radio button"_s], 6);
    EXPECT_EQ(counted[u"scroll bar"_s], 2);

    const auto find = [&](const std::set<QString>& roles, const QString& name) -> const Control* {
        for (const Control& c : controls)
            if (roles.count(c.role) && c.name == name) return &c;
        return nullptr;
    };
    EXPECT_TRUE(find({u"push button"_s}, u"Choose a photo"_s));
    EXPECT_TRUE(find({u"push button"_s}, u"Back"_s));
    const Control* card = find({u"graphic"_s, u"image"_s}, u"The card"_s);
    EXPECT_EQ((card ? card->description : u"no picture named \"The card\""_s).toStdString(),
              "Design: Clouds. Message: Happy birthday");

    if (::testing::Test::HasFailure()) {
        std::printf("what the reader met (role, name, description):\n");
        for (const Control& c : controls)
            std::printf("  %s \"%s\" \"%s\"\n", qPrintable(c.role), qPrintable(c.name), qPrintable(c.description));
    }
    app.closeWriteChannel();
    app.waitForFinished(10000);
    started.endAll();
    QDBusConnection::disconnectFromBus(u"a11y"_s + tag);
    QDBusConnection::disconnectFromBus(u"session"_s + tag);
}
