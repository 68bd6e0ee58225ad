// The LibreOffice backend's parts that need no running office: profile slots
// and their seed, the installation's version, pipe names, the member table
// and the watchdog.

#include "engine/libreoffice/member_table.h"
#include "engine/libreoffice/office_install.h"
#include "engine/libreoffice/office_process.h"
#include "engine/libreoffice/office_session.h"
#include "engine/libreoffice/profile_slot.h"
#include "engine/libreoffice/uno_strings.h"
#include "engine/libreoffice/watchdog.h"
#include "tests/support/engine_failure.h"
#include "tests/support/temp_env.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <rtl/bootstrap.hxx>

#include <atomic>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using marigal::test::EngineFailure;
using namespace marigal::engine;
using namespace marigal::engine::lo;
using namespace std::chrono_literals;

namespace {

// True when someone holds the slot's lock (flock conflicts between open file
// descriptions, even within one process).
bool slotHeld(const QString& slotDir)
{
    const int fd = ::open(QFile::encodeName(ProfileSlot::lockPath(slotDir)).constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return held;
}

// "path/name" -> value, for every item of a registrymodifications.xcu.
std::map<QString, QString> readSeed(const QByteArray& xml)
{
    std::map<QString, QString> values;
    QXmlStreamReader r(xml);
    QString path;
    QString name;
    while (!r.atEnd()) {
        r.readNext();
        if (!r.isStartElement()) continue;
        if (r.name() == QLatin1String("item")) path = r.attributes().value(QStringLiteral("oor:path")).toString();
        else if (r.name() == QLatin1String("prop")) name = r.attributes().value(QStringLiteral("oor:name")).toString();
        else if (r.name() == QLatin1String("value")) values[path + QLatin1Char('/') + name] = r.readElementText();
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return values;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

}  // namespace

TEST(ProfileSeed, SettingsTheOfficeNeedsFromTheFirstStart)
{
    const auto values = readSeed(profileSeed(QStringLiteral("7.4")));
    EXPECT_EQ(values.at(QStringLiteral("/org.openoffice.Setup/Product/ooSetupLastVersion")), QStringLiteral("7.4"));
    EXPECT_EQ(values.at(QStringLiteral("/org.openoffice.Office.Common/Misc/UseLocking")), QStringLiteral("false"));
    EXPECT_EQ(values.at(QStringLiteral("/org.openoffice.Office.Common/Security/Scripting/MacroSecurityLevel")),
              QStringLiteral("3"));
    EXPECT_EQ(values.at(QStringLiteral("/org.openoffice.Office.Common/Security/Scripting/DisableMacrosExecution")),
              QStringLiteral("true"));

    // An unknown version is left out rather than guessed: a wrong one costs
    // the slow first start on every launch, a missing one only on the first.
    const auto unknown = readSeed(profileSeed(QString()));
    EXPECT_EQ(unknown.count(QStringLiteral("/org.openoffice.Setup/Product/ooSetupLastVersion")), 0u);
    EXPECT_EQ(unknown.at(QStringLiteral("/org.openoffice.Office.Common/Misc/UseLocking")), QStringLiteral("false"));
}

TEST(ProfileSeed, JavaIsOffUnderTheNameTheOfficeReads)
{
    // The office reads user/config/javasettings_${_OS}_${_ARCH}.xml.
    rtl::OUString name = rtl::OUString::createFromAscii("javasettings_${_OS}_${_ARCH}.xml");
    rtl::Bootstrap::expandMacros(name);
    EXPECT_EQ(javaSeedName(), toQString(name));

    QXmlStreamReader r(javaSeed());
    QString enabled;
    while (r.readNextStartElement()) {
        if (r.name() == QLatin1String("enabled")) enabled = r.readElementText();
        else if (r.name() != QLatin1String("java")) r.skipCurrentElement();
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    EXPECT_EQ(enabled, QStringLiteral("false"));
}

TEST(ProfileSeed, WrittenOnceSoTheOfficesOwnChangesStayAndDamageIsSeen)
{
    QTemporaryDir root;
    auto slot = ProfileSlot::acquire(root.path());
    EXPECT_FALSE(slot->healthy());
    slot->seed(QStringLiteral("7.4"));
    ASSERT_TRUE(slot->healthy());
    const QString xcu = slot->dir() + QStringLiteral("/user/registrymodifications.xcu");
    // The office writes lists and empty values of its own among ours.
    QByteArray own = profileSeed(QStringLiteral("7.4"));
    own.replace("</oor:items>",
                "<item oor:path=\"/org.openoffice.Office.Linguistic/ServiceManager/SpellCheckerList\"><prop "
                "oor:name=\"en-US\" oor:op=\"fuse\"><value><it>org.openoffice.lingu.MySpellSpellChecker</it></value>"
                "</prop></item>\n<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop oor:name=\"Empty\" "
                "oor:op=\"fuse\"><value xsi:nil=\"true\"/></prop></item>\n<!-- the office's own -->\n</oor:items>\n");
    writeFile(xcu, own);
    slot->seed(QStringLiteral("9.9"));
    EXPECT_TRUE(slot->healthy());
    QFile f(xcu);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("the office's own"));
    EXPECT_FALSE(text.contains("9.9"));
    f.close();

    // Damage: random bytes, a file cut short, a seeded setting lost or
    // changed, Java's settings gone.
    QByteArray noise(4096, '\0');
    for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919 + 13) % 251);
    const QByteArray seed = profileSeed(QStringLiteral("7.4"));
    QByteArray locking = seed;
    locking.replace("<value>false</value>", "<value>true</value>");
    for (const QByteArray& damaged : {noise, seed.left(seed.size() / 2), locking}) {
        writeFile(xcu, damaged);
        EXPECT_FALSE(slot->healthy());
        slot->clear();
        slot->seed(QStringLiteral("7.4"));
        EXPECT_TRUE(slot->healthy());
    }
    QFile::remove(slot->dir() + QStringLiteral("/user/config/") + javaSeedName());
    EXPECT_FALSE(slot->healthy());
}

TEST(InstalledVersion, ReadsWhatTheOfficeComparesWith)
{
    QTemporaryDir install;
    const QString program = install.filePath(QStringLiteral("program"));
    QDir().mkpath(program);

    // Nothing to read: unknown, not a guess.
    EXPECT_EQ(installedVersion(program), QString());

    // ProductKey is the fallback.
    writeFile(program + QStringLiteral("/bootstraprc"),
              "[Bootstrap]\nInstallMode=<installmode>\nProductKey=LibreOffice 24.2\nUserInstallation=$SYSUSERCONFIG/x\n");
    EXPECT_EQ(installedVersion(program), QStringLiteral("24.2"));

    // The registry wins; its schema declares the property (empty) before the
    // data sets it.
    writeFile(install.filePath(QStringLiteral("share/registry/main.xcd")),
              "<oor:component-schema><group oor:name=\"Product\">"
              "<prop oor:name=\"ooSetupVersion\" oor:type=\"xs:string\" oor:nillable=\"false\">\n<value/>\n</prop>"
              "</group></oor:component-schema>\n"
              "<oor:component-data oor:name=\"Setup\"><node oor:name=\"Product\">\n"
              "<prop oor:name=\"ooSetupVersionAboutBox\">\n<value>24.8.1.2</value>\n</prop>\n"
              "<prop oor:name=\"ooSetupVersion\">\n        <value>24.8</value>\n      </prop>\n"
              "</node></oor:component-data>\n");
    EXPECT_EQ(installedVersion(program), QStringLiteral("24.8"));
}

TEST(InstalledVersion, TheInstalledOfficeAgreesWithItself)
{
    const QString soffice = findSoffice(QString());
    ASSERT_FALSE(soffice.isEmpty()) << "no LibreOffice installed";
    const QString program = programDirOf(soffice);
    EXPECT_TRUE(QFile::exists(program + QStringLiteral("/soffice.bin"))) << program.toStdString();

    const QString version = installedVersion(program);
    ASSERT_TRUE(QRegularExpression(QStringLiteral(R"(^\d+\.\d+$)")).match(version).hasMatch()) << version.toStdString();
    QFile rc(program + QStringLiteral("/bootstraprc"));
    ASSERT_TRUE(rc.open(QIODevice::ReadOnly));
    EXPECT_TRUE(rc.readAll().contains("ProductKey=LibreOffice " + version.toUtf8()));
}

TEST(ProfileSlots, EachHolderGetsItsOwnAndFreedOnesAreReused)
{
    QTemporaryDir root;
    auto first = ProfileSlot::acquire(root.path());
    auto second = ProfileSlot::acquire(root.path());
    EXPECT_EQ(first->dir(), root.filePath(QStringLiteral("p0")));
    EXPECT_EQ(second->dir(), root.filePath(QStringLiteral("p1")));
    EXPECT_TRUE(slotHeld(first->dir()));
    EXPECT_TRUE(slotHeld(second->dir()));
    EXPECT_EQ(first->installationUrl(), QStringLiteral("file://") + root.filePath(QStringLiteral("p0")));
    EXPECT_TRUE(first->tempDir().startsWith(first->dir() + QLatin1Char('/')));

    const QString p0 = first->dir();
    first.reset();
    EXPECT_FALSE(slotHeld(p0));
    auto third = ProfileSlot::acquire(root.path());
    EXPECT_EQ(third->dir(), p0);
}

TEST(ProfileSlots, DefaultRootFollowsTheCacheHome)
{
    {
        marigal::test::ScopedEnv env("XDG_CACHE_HOME", QByteArray("/var/cache/someone"));
        EXPECT_EQ(defaultProfileRoot(), QStringLiteral("/var/cache/someone/marigal/office-profiles"));
    }
    // Unset, or relative (invalid by the XDG rules): ~/.cache.
    marigal::test::ScopedEnv env("XDG_CACHE_HOME", QByteArray("relative/cache"));
    EXPECT_EQ(defaultProfileRoot(), QDir::homePath() + QStringLiteral("/.cache/marigal/office-profiles"));
}

TEST(PipeNames, UniqueAndFoundByTheLeftoverCheck)
{
    const QString a = OfficeProcess::uniquePipeName();
    const QString b = OfficeProcess::uniquePipeName();
    EXPECT_NE(a, b);
    // A test finds its own offices by the pipe's name.
    EXPECT_TRUE(a.startsWith(QStringLiteral("marigal-%1-").arg(::getpid()))) << a.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Za-z0-9-]+$")).match(a).hasMatch()) << a.toStdString();
}

TEST(PipeNames, PipesOfProgramsThatEndedAreRemovedOthersKept)
{
    // A program of ours that was killed left its office's socket; a running
    // one (this test) keeps its own.
    const auto socketAt = [](const QString& path) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, QFile::encodeName(path).constData(), sizeof addr.sun_path - 1);
        EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << path.toStdString();
        ::close(fd);
    };
    // Ended, and not yet reaped (a zombie), as a killed program is until
    // its parent reaps it.
    pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    siginfo_t info{};
    ::waitid(P_PID, id_t(ended), &info, WEXITED | WNOWAIT);
    const QString stale = oslPipePath(QStringLiteral("marigal-%1-0-0000abcd").arg(ended));
    const QString live = oslPipePath(QStringLiteral("marigal-%1-99-0000abcd").arg(::getpid()));
    socketAt(stale);
    socketAt(live);
    removeStalePipes();
    EXPECT_FALSE(QFileInfo::exists(stale));
    EXPECT_TRUE(QFileInfo::exists(live));
    QFile::remove(live);
    ::waitpid(ended, nullptr, 0);
}

TEST(PipeNames, TheProfilesSingleInstancePipe)
{
    // As the office names it for this profile (seen in /tmp next to a running office).
    EXPECT_EQ(singleInstancePipeName(QStringLiteral("file:///tmp/exp/p0")),
              QStringLiteral("SingleOfficeIPC_78495bec122ffa816f708f5453ec5ee2"));
    EXPECT_EQ(oslPipePath(QStringLiteral("marigal-1")), QStringLiteral("/tmp/OSL_PIPE_%1_marigal-1").arg(::getuid()));
}

namespace {

struct Probe {
    QStringList calls;
    Value method(InvokeKind, const Args& args)
    {
        calls << QStringLiteral("method/%1").arg(args.size());
        return Value::int32(1);
    }
    Value prop(InvokeKind kind, const Args&)
    {
        calls << (kind == InvokeKind::PropertyPut ? QStringLiteral("put") : QStringLiteral("get"));
        return {};
    }
};

}  // namespace

TEST(MemberTable, FindsMembersByNameInAnyCaseAndKind)
{
    const MemberTable<Probe> table{
        {"Quit", kMethod, &Probe::method},
        {"Visible", kGet | kPut, &Probe::prop},
    };
    Probe p;
    EXPECT_EQ(table.invoke(p, QStringLiteral("quit"), InvokeKind::Method, {Value::boolean(false)}).toInt(), 1);
    table.invoke(p, QStringLiteral("VISIBLE"), InvokeKind::PropertyGet, {});
    table.invoke(p, QStringLiteral("Visible"), InvokeKind::PropertyPut, {Value::boolean(true)});
    EXPECT_EQ(p.calls, (QStringList{QStringLiteral("method/1"), QStringLiteral("get"), QStringLiteral("put")}));

    EXPECT_EQ(EngineFailure([&] { table.invoke(p, QStringLiteral("Documents"), InvokeKind::PropertyGet, {}); }),
              errtext::kNoSuchMember);
    EXPECT_EQ(EngineFailure([&] { table.invoke(p, QStringLiteral("Quit"), InvokeKind::PropertyPut, {Value::int16(1)}); }),
              errtext::kNoSuchMember);
    EXPECT_EQ(p.calls.size(), 3);
}

TEST(Watchdog, FiresOnceWhenArmedDeadlinePasses)
{
    std::atomic<int> expiries{0};
    Watchdog dog([&] { ++expiries; });

    dog.arm(Watchdog::Clock::now() + 20ms);
    for (int i = 0; i < 500 && !dog.fired(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(dog.fired());
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(expiries.load(), 1);

    // Re-arming starts over; a disarmed deadline never fires.
    dog.arm(Watchdog::Clock::now() + 50ms);
    EXPECT_FALSE(dog.fired());
    dog.disarm();
    std::this_thread::sleep_for(150ms);
    EXPECT_FALSE(dog.fired());
    EXPECT_EQ(expiries.load(), 1);

    {
        Watchdog::Scope armed(dog, 20ms);
        for (int i = 0; i < 500 && !dog.fired(); ++i) std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(expiries.load(), 2);
}
