// The LibreOffice backend against real private offices: start, quit, hangs,
// failures, and that nothing is ever left running or locked.
// Each office start costs ~0.5 s, so each test covers one whole story.

#include "engine/libreoffice/lo_backend.h"
#include "engine/libreoffice/office_process.h"
#include "engine/libreoffice/office_session.h"
#include "engine/libreoffice/profile_slot.h"
#include "engine/libreoffice/quitting_offices.h"
#include "tests/support/engine_failure.h"
#include "tools/support/hostile_files.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using marigal::test::EngineFailure;
using namespace marigal::engine;
using namespace marigal::engine::lo;
using namespace std::chrono_literals;

namespace {

QByteArray procFile(pid_t pid, const char* name)
{
    QFile f(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class OfficeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(root_.isValid()); }

    void TearDown() override
    {
        // Whatever a failed test left is reported, then killed, so that one
        // failure does not leak offices into the next tests.
        WaitForQuittingOffices();
        const auto left = officePids();
        EXPECT_TRUE(left.empty()) << left.size() << " office process(es) left running";
        for (pid_t pid : left) ::kill(pid, SIGKILL);
    }

    LibreOfficeOptions options() const
    {
        LibreOfficeOptions o;
        o.profileRoot = root_.path();
        return o;
    }

    QString slot(int n) const { return root_.filePath(QStringLiteral("p%1").arg(n)); }

    // Processes started on this test's profiles (launcher and soffice.bin both
    // carry -env:UserInstallation=file://<root>/pN).
    std::vector<pid_t> officePids() const { return processesMentioning(QFile::encodeName(root_.path())); }
    // Processes started on one profile.
    std::vector<pid_t> officePids(const QString& slotDir) const
    {
        return processesMentioning("-env:UserInstallation=file://" + QFile::encodeName(slotDir) + '\0');
    }

    // Running processes only: a zombie has ended, whoever reaps it.
    static std::vector<pid_t> processesMentioning(const QByteArray& needle)
    {
        std::vector<pid_t> pids;
        for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            bool numeric = false;
            const pid_t pid = name.toInt(&numeric);
            if (!numeric || pid == ::getpid() || !procFile(pid, "cmdline").contains(needle)) continue;
            const QByteArray stat = procFile(pid, "stat");
            const QByteArray state = stat.mid(stat.lastIndexOf(')') + 2, 1);
            if (state != "Z" && state != "X") pids.push_back(pid);
        }
        return pids;
    }

    pid_t sofficeBin() const
    {
        for (pid_t pid : officePids())
            if (procFile(pid, "comm").trimmed() == "soffice.bin") return pid;
        return -1;
    }

    static bool slotHeld(const QString& slotDir)
    {
        const int fd = ::open(QFile::encodeName(ProfileSlot::lockPath(slotDir)).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) return false;
        const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    // Sockets and temporary files of this process's offices.
    QStringList leftovers(const QString& slotDir) const
    {
        QStringList found = QDir(QStringLiteral("/tmp"))
                                .entryList({QStringLiteral("OSL_PIPE_*_marigal-%1-*").arg(::getpid())}, QDir::System);
        const QString ipc = oslPipePath(singleInstancePipeName(QStringLiteral("file://") + slotDir));
        if (QFileInfo::exists(ipc)) found << ipc;
        if (QDir(slotDir + QStringLiteral("/tmp")).exists()) found << slotDir + QStringLiteral("/tmp");
        return found;
    }

    // A launcher script standing in for soffice.
    QString script(const char* name, const QByteArray& body) const
    {
        const QString path = root_.filePath(QString::fromLatin1(name));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body + "\n");
        f.close();
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        return path;
    }

    // Once the offices on their way out have ended.
    void expectAllGone(const QString& slotDir)
    {
        WaitForQuittingOffices();
        EXPECT_TRUE(officePids().empty());
        EXPECT_FALSE(slotHeld(slotDir)) << slotDir.toStdString();
        EXPECT_EQ(leftovers(slotDir), QStringList());
    }

    QTemporaryDir root_;
};

TEST_F(OfficeTest, QuitEndsTheOfficeAndEveryLaterCallFails)
{
    LibreOfficeBackend backend(options());
    Object app = backend.create(kWordProgId);
    ASSERT_FALSE(app.isNothing());
    EXPECT_NE(sofficeBin(), -1) << "no soffice.bin on the test's profile";
    EXPECT_TRUE(slotHeld(slot(0)));

    EXPECT_EQ(EngineFailure([&] { app.call(u"Activate"); }), errtext::kNoSuchMember);
    EXPECT_EQ(EngineFailure([&] { app.get(u"Quit"); }), errtext::kNoSuchMember);

    app.call(u"QUIT");
    expectAllGone(slot(0));

    EXPECT_EQ(EngineFailure([&] { app.call(u"Quit"); }), errtext::kServerGone);
    EXPECT_EQ(EngineFailure([&] { app.get(u"Documents"); }), errtext::kServerGone);

    // The office rewrote the profile's settings on its way out and kept ours.
    QFile xcu(slot(0) + QStringLiteral("/user/registrymodifications.xcu"));
    ASSERT_TRUE(xcu.open(QIODevice::ReadOnly));
    const QByteArray settings = xcu.readAll();
    EXPECT_TRUE(settings.contains("<prop oor:name=\"UseLocking\" oor:op=\"fuse\"><value>false</value>"));
    EXPECT_TRUE(settings.contains("<prop oor:name=\"DisableMacrosExecution\" oor:op=\"fuse\"><value>true</value>"));
    EXPECT_TRUE(settings.contains("<prop oor:name=\"ooSetupLastVersion\" oor:op=\"fuse\"><value>"));
    // No Java runtime was looked for and chosen.
    QFile java(slot(0) + QStringLiteral("/user/config/") + javaSeedName());
    ASSERT_TRUE(java.open(QIODevice::ReadOnly));
    EXPECT_EQ(java.readAll(), javaSeed());
    // As the office left it, the profile is taken as it is next time.
    EXPECT_TRUE(ProfileSlot::acquire(root_.path())->healthy());
}

TEST_F(OfficeTest, TwoOfficesRunSideBySideOnTheirOwnProfiles)
{
    auto first = OfficeSession::start(options());
    auto second = OfficeSession::start(options());
    EXPECT_EQ(first->profileDir(), slot(0));
    EXPECT_EQ(second->profileDir(), slot(1));
    EXPECT_NE(first->processGroup(), second->processGroup());

    first->quit();
    WaitForQuittingOffices();
    EXPECT_FALSE(slotHeld(slot(0)));
    EXPECT_TRUE(officePids(slot(0)).empty()) << "first office still running";
    EXPECT_FALSE(officePids(slot(1)).empty()) << "second office went with the first";

    // The second office did not go with the first.
    EXPECT_TRUE(second->call([&] { return second->desktop()->getComponents().is(); }));
    second->quit();
    expectAllGone(slot(1));
}

TEST_F(OfficeTest, LastReferenceWithoutQuitEndsTheOffice)
{
    {
        LibreOfficeBackend backend(options());
        Object app = backend.create(u"word.application");
        EXPECT_NE(sofficeBin(), -1);
    }
    expectAllGone(slot(0));
}

TEST_F(OfficeTest, QuitKillsAHungOfficeWithinItsBound)
{
    LibreOfficeOptions o = options();
    o.quitTimeout = 2s;
    LibreOfficeBackend backend(o);
    Object app = backend.create(kWordProgId);
    const pid_t bin = sofficeBin();
    ASSERT_NE(bin, -1);
    ASSERT_EQ(::kill(bin, SIGSTOP), 0);

    QElapsedTimer clock;
    clock.start();
    app.call(u"Quit");
    // Bounded by the quit timeout, not the (120 s) call timeout.
    EXPECT_LT(clock.elapsed(), 15000);
    expectAllGone(slot(0));
}

TEST_F(OfficeTest, AHungCallIsKilledAndReported)
{
    // With the bound the program runs with: a hung office costs the window
    // 20 seconds, not minutes.
    auto session = OfficeSession::start(options());
    const pid_t bin = sofficeBin();
    ASSERT_NE(bin, -1);
    ASSERT_EQ(::kill(bin, SIGSTOP), 0);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(EngineFailure([&] { session->call([&] { session->desktop()->getComponents(); }); }),
              errtext::kServerHung);
    EXPECT_GE(clock.elapsed(), 19000);
    EXPECT_LT(clock.elapsed(), 25000);
    EXPECT_FALSE(session->alive());
    expectAllGone(slot(0));
    EXPECT_EQ(EngineFailure([&] { session->call([&] { session->desktop()->getComponents(); }); }),
              errtext::kServerGone);
    session->quit();  // nothing left to do, and no error
}

TEST_F(OfficeTest, AnOfficeThatDiesIsGone)
{
    auto session = OfficeSession::start(options());
    ASSERT_EQ(::kill(-session->processGroup(), SIGKILL), 0);
    // Whether the bridge or the process notices first, it is the same error.
    EXPECT_EQ(EngineFailure([&] { session->call([&] { session->desktop()->getComponents(); }); }),
              errtext::kServerGone);
    expectAllGone(slot(0));
}

TEST_F(OfficeTest, AMissingOfficeOrAnUnknownClassCannotCreateAtOnce)
{
    LibreOfficeOptions o = options();
    o.sofficePath = root_.filePath(QStringLiteral("no-such-soffice"));
    LibreOfficeBackend missing(o);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(EngineFailure([&] { missing.create(kWordProgId); }), errtext::kCannotCreate);
    EXPECT_LT(clock.elapsed(), 5000) << "waited for an office that cannot exist";

    LibreOfficeBackend backend(options());
    EXPECT_EQ(EngineFailure([&] { backend.create(u"Excel.Application"); }), errtext::kCannotCreate);
    EXPECT_TRUE(officePids().empty());
}

TEST_F(OfficeTest, AnOfficeDyingAtStartCannotCreateAtOnce)
{
    LibreOfficeOptions o = options();
    o.sofficePath = script("dies", "exit 3");
    LibreOfficeBackend backend(o);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(EngineFailure([&] { backend.create(kWordProgId); }), errtext::kCannotCreate);
    EXPECT_LT(clock.elapsed(), 10000) << "waited out the start timeout for a dead office";
    expectAllGone(slot(0));
}

TEST_F(OfficeTest, AnOfficeThatNeverAnswersIsKilledAtTheStartTimeout)
{
    LibreOfficeOptions o = options();
    // The shell keeps the arguments in its command line; its sleeps are in
    // its process group.
    o.sofficePath = script("silent", "while :; do sleep 0.1; done");
    o.startTimeout = 1s;
    o.firstStartTimeout = 3s;
    LibreOfficeBackend backend(o);
    // A new profile gets the longer bound, one the office has had the shorter.
    for (const auto bound : {3000, 1000}) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(EngineFailure([&] { backend.create(kWordProgId); }), errtext::kCannotCreate);
        EXPECT_GE(clock.elapsed(), bound);
        EXPECT_LT(clock.elapsed(), bound + 2000);
        expectAllGone(slot(0));
    }
}

TEST_F(OfficeTest, AnAbortReachesAnOfficeStillStartingAndNoneStartsAfterIt)
{
    LibreOfficeOptions o = options();
    o.sofficePath = script("slow", "while :; do sleep 0.1; done");
    o.startTimeout = 20s;
    o.firstStartTimeout = 20s;
    LibreOfficeBackend backend(o);
    QElapsedTimer clock;
    clock.start();
    std::thread stopper([&] {
        std::this_thread::sleep_for(300ms);
        backend.abortAll();
    });
    EXPECT_EQ(EngineFailure([&] { backend.create(kWordProgId); }), errtext::kCannotCreate);
    stopper.join();
    EXPECT_LT(clock.elapsed(), 5000);  // well before its start's bound
    expectAllGone(slot(0));
    // After a stop, no office is started at all.
    clock.restart();
    EXPECT_EQ(EngineFailure([&] { backend.create(kWordProgId); }), errtext::kCannotCreate);
    EXPECT_LT(clock.elapsed(), 1000);
}

TEST_F(OfficeTest, AnOfficeLeftOnAProfileByACrashIsKilledFirst)
{
    // Stands in for an office whose owner crashed: it runs on p0, and nobody
    // holds p0's lock.
    QDir().mkpath(slot(0));
    const QByteArray profileArg = "-env:UserInstallation=file://" + QFile::encodeName(slot(0));
    const char* argv[] = {"/bin/sh", "-c", "while :; do sleep 0.1; done", "stray", profileArg.constData(), nullptr};
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t stray = -1;
    ASSERT_EQ(::posix_spawn(&stray, "/bin/sh", nullptr, &attr, const_cast<char* const*>(argv), environ), 0);
    posix_spawnattr_destroy(&attr);
    // posix_spawn returns before the new program's arguments show in /proc.
    for (int i = 0; i < 200 && !procFile(stray, "cmdline").contains(profileArg); ++i) std::this_thread::sleep_for(5ms);

    auto session = OfficeSession::start(options());
    EXPECT_EQ(session->profileDir(), slot(0));
    int status = 0;
    EXPECT_EQ(::waitpid(stray, &status, WNOHANG), stray) << "the stray still runs";
    EXPECT_TRUE(WIFSIGNALED(status));
    session->quit();
    expectAllGone(slot(0));
}

TEST_F(OfficeTest, AnOfficeStartedDirectlyThatAsksForARestartIsStartedAgain)
{
    // An installation whose soffice.bin asks once for a restart, as a real
    // one does after it has set up a new profile, then runs the real office.
    const QString program = root_.filePath("program");
    QDir().mkpath(program);
    QFile::copy(QStringLiteral("/usr/lib/libreoffice/program/soffice"), program + "/soffice");
    const QString marker = root_.filePath("started");
    QFile bin(program + "/soffice.bin");
    ASSERT_TRUE(bin.open(QIODevice::WriteOnly));
    bin.write("#!/bin/sh\nif [ ! -e '" + QFile::encodeName(marker) + "' ]; then : > '" + QFile::encodeName(marker) +
              "'; exit 81; fi\nexec /usr/lib/libreoffice/program/soffice.bin \"$@\"\n");
    bin.close();
    bin.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    LibreOfficeOptions o = options();
    o.sofficePath = program + "/soffice";
    auto session = OfficeSession::start(o);
    EXPECT_TRUE(QFileInfo::exists(marker));
    EXPECT_TRUE(session->call([&] { return session->desktop()->getComponents().is(); }));
    session->quit();
    expectAllGone(slot(0));
}

TEST_F(OfficeTest, AQuittingOfficeKeepsItsProfileUntilItHasEnded)
{
    // An office on its way out (writing its profile, a second here) is left
    // to end in the background: its profile is not handed out meanwhile,
    // and it is reaped, never leaked, when it ends.
    auto slot0 = ProfileSlot::acquire(root_.path());
    auto office = std::make_unique<OfficeProcess>(OfficeLaunch{script("ending", "sleep 1"), QString(),
                                                               slot0->installationUrl(), slot0->tempDir(),
                                                               OfficeProcess::uniquePipeName()});
    const pid_t pid = office->pid();
    QuittingOffices::adopt(std::move(office), std::move(slot0), OfficeProcess::Clock::now() + 5s);
    EXPECT_TRUE(slotHeld(slot(0)));
    EXPECT_EQ(ProfileSlot::acquire(root_.path())->dir(), slot(1));
    WaitForQuittingOffices();
    EXPECT_FALSE(slotHeld(slot(0)));
    EXPECT_EQ(::kill(pid, 0), -1);  // reaped: no zombie left either
    EXPECT_EQ(ProfileSlot::acquire(root_.path())->dir(), slot(0));
}

TEST_F(OfficeTest, OfficesEndWithAProgramThatIsKilled)
{
    // Started directly and through the launcher: kill -9 of the program that
    // started it leaves no office (nor the launcher's guard) running.
    for (const char* path : {"direct", "launcher"}) {
        SCOPED_TRACE(path);
        QProcess holder;
        holder.start(QStringLiteral(OFFICE_HOLDER), {root_.path(), QLatin1String(path)});
        ASSERT_TRUE(holder.waitForReadyRead(60000)) << holder.readAllStandardError().toStdString();
        const QByteArray ready = holder.readLine().trimmed();
        ASSERT_TRUE(ready.startsWith("ready ")) << ready.toStdString();
        const pid_t group = ready.mid(6).toInt();
        const pid_t bin = sofficeBin();
        ASSERT_NE(bin, -1);
        EXPECT_EQ(::getpgid(bin), group);
        EXPECT_EQ(processesMentioning("marigal-office-guard").size(), std::strcmp(path, "launcher") == 0 ? 1u : 0u);

        ::kill(pid_t(holder.processId()), SIGKILL);
        holder.waitForFinished();
        QElapsedTimer clock;
        clock.start();
        while ((!officePids().empty() || !processesMentioning("marigal-office-guard").empty()) &&
               clock.elapsed() < 5000)
            std::this_thread::sleep_for(20ms);
        EXPECT_TRUE(officePids().empty()) << "office still running after its program was killed";
        EXPECT_TRUE(processesMentioning("marigal-office-guard").empty());
        EXPECT_FALSE(slotHeld(slot(0)));
        // A killed office cannot remove its pipe; a program's next start
        // sweeps those of its own profiles. This test's profiles go with it.
        QFile::remove(oslPipePath(singleInstancePipeName(QStringLiteral("file://") + slot(0))));
    }
}

TEST_F(OfficeTest, ADamagedProfileIsMadeAnewWithTheSeededSettings)
{
    auto first = OfficeSession::start(options());
    first->quit();
    WaitForQuittingOffices();
    const QString xcu = slot(0) + QStringLiteral("/user/registrymodifications.xcu");
    QFile f(xcu);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QByteArray noise(20000, '\0');
    for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919 + 13) % 251);
    f.write(noise);
    f.close();

    auto second = OfficeSession::start(options());
    EXPECT_EQ(second->profileDir(), slot(0));
    second->quit();
    WaitForQuittingOffices();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray settings = f.readAll();
    EXPECT_TRUE(settings.contains("<prop oor:name=\"UseLocking\" oor:op=\"fuse\"><value>false</value>"));
    EXPECT_TRUE(settings.contains("<prop oor:name=\"DisableMacrosExecution\" oor:op=\"fuse\"><value>true</value>"));
    EXPECT_TRUE(settings.contains("<prop oor:name=\"MacroSecurityLevel\" oor:op=\"fuse\"><value>3</value>"));
    expectAllGone(slot(0));
}

}  // namespace

TEST_F(OfficeTest, AListFromSomebodyElseIsReadWithoutReachingOutAndWithinItsMemory)
{
    // A server of ours on this machine: the office must not ask it for the
    // pictures the lists link to, in a network of its own or, where the
    // system gives none, by its settings alone.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    const QString url = QStringLiteral("http://127.0.0.1:%1/x.png").arg(server.serverPort());
    const QString ods = root_.filePath("linked.ods"), xlsx = root_.filePath("linked.xlsx");
    ASSERT_TRUE(marigal::samples::WriteLinkedPictureOds(ods, url, 3));
    ASSERT_TRUE(marigal::samples::WriteLinkedPictureXlsx(xlsx, url));
    for (const char* network : {"", "1"}) {
        SCOPED_TRACE(*network ? "the office's settings alone" : "a network of its own");
        qputenv("MARIGAL_SHARED_NETWORK", network);
        for (const QString& list : {ods, xlsx}) {
            SCOPED_TRACE(list.toStdString());
            const auto rows = ReadSpreadsheet(options(), list, QString(), {QStringLiteral("design"), QStringLiteral("output")});
            ASSERT_EQ(rows.size(), 2u);
            EXPECT_EQ(rows[0].second, (QStringList{"design", "output"}));  // only the columns asked for
            EXPECT_FALSE(server.waitForNewConnection(200));
        }
    }
    qunsetenv("MARIGAL_SHARED_NETWORK");
    // A sheet of a million rows by sixteen thousand columns: said, not read.
    const QString corner = root_.filePath("corner.xlsx");
    ASSERT_TRUE(marigal::samples::WriteCornerXlsx(corner));
    try {
        ReadSpreadsheet(options(), corner, QString());
        ADD_FAILURE() << "the corner list was read";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "the sheet is too large (1,048,576 rows × 16,384 columns)");
    }
    // An office that reaches its memory dies, and says so.
    LibreOfficeOptions small = options();
    small.memoryLimit = 200ull << 20;  // less than the office needs to start
    EXPECT_THROW(ReadSpreadsheet(small, ods, QString()), std::runtime_error);
    WaitForQuittingOffices();
    EXPECT_TRUE(officePids().empty());
}
