#include "engine/libreoffice/profile_slot.h"

#include "engine/engine_error.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QUrl>
#include <QXmlStreamReader>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace marigal::engine::lo {

namespace {

// Beyond this many offices at once something is wrong; better to fail than
// to fill the disk with profiles.
constexpr int kMaxSlots = 64;

QString settingsPath(const QString& dir)
{
    return dir + QStringLiteral("/user/registrymodifications.xcu");
}

QString javaPath(const QString& dir)
{
    return dir + QStringLiteral("/user/config/") + javaSeedName();
}

[[noreturn]] void raiseProfileError(const QString& folder, int error)
{
    throw OfficeProfileError(folder + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error)));
}

// Makes `dir` and its parents; raises OfficeProfileError when it cannot, or
// when it is not a folder this user may write in.
void makeWritableFolder(const QString& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(QFile::encodeName(dir).toStdString(), ec);
    if (ec) raiseProfileError(dir, ec.value());
    if (::access(QFile::encodeName(dir).constData(), W_OK | X_OK) != 0) raiseProfileError(dir, errno);
}

// Written whole or not at all: a half-written file would make the office
// start with its defaults.
void writeSeedFile(const QString& path, const QByteArray& content)
{
    makeWritableFolder(QFileInfo(path).absolutePath());
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) < 0 || !out.commit()) {
        const int error = errno ? errno : EIO;
        raiseProfileError(QFileInfo(path).absolutePath(), error);
    }
}

QByteArray readSmall(const QString& path)
{
    QFile f(path);
    // Far more than the office ever writes; a larger file is damage.
    constexpr qint64 kLimit = 16 << 20;
    if (!f.open(QIODevice::ReadOnly) || f.size() > kLimit) return {};
    return f.readAll();
}

// "path/name" -> value of every item of a settings file; empty when it is
// not well-formed.
std::map<QString, QString> settingsIn(const QByteArray& xml)
{
    std::map<QString, QString> values;
    QXmlStreamReader r(xml);
    QString path, name;
    while (!r.atEnd()) {
        if (r.readNext() != QXmlStreamReader::StartElement) continue;
        if (r.name() == QLatin1String("item")) path = r.attributes().value(QStringLiteral("oor:path")).toString();
        else if (r.name() == QLatin1String("prop")) name = r.attributes().value(QStringLiteral("oor:name")).toString();
        else if (r.name() == QLatin1String("value"))  // lists hold <it> elements
            values[path + QLatin1Char('/') + name] = r.readElementText(QXmlStreamReader::IncludeChildElements);
    }
    if (r.hasError()) return {};
    return values;
}

QByteArray item(const char* path, const char* name, const QByteArray& value)
{
    return QByteArray("<item oor:path=\"") + path + "\"><prop oor:name=\"" + name + "\" oor:op=\"fuse\"><value>"
         + value + "</value></prop></item>\n";
}

}  // namespace

std::unique_ptr<ProfileSlot> ProfileSlot::acquire(const QString& root, bool usedOnly)
{
    makeWritableFolder(root);
    for (int n = 0; n < kMaxSlots; ++n) {
        const QString dir = QDir(root).absoluteFilePath(QStringLiteral("p%1").arg(n));
        if (usedOnly && !QFileInfo::exists(settingsPath(dir))) {
            if (!QFileInfo::exists(dir)) return nullptr;
            continue;
        }
        makeWritableFolder(dir);
        const QByteArray lock = QFile::encodeName(lockPath(dir));
        // Close-on-exec: the lock belongs to us, not to the office we start.
        const int fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) raiseProfileError(dir, errno);
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return std::unique_ptr<ProfileSlot>(new ProfileSlot(dir, fd));
        ::close(fd);
    }
    if (usedOnly) return nullptr;
    throw EngineError(errtext::kCannotCreate);
}

ProfileSlot::ProfileSlot(QString dir, int lockFd) : dir_(std::move(dir)), lockFd_(lockFd) {}

ProfileSlot::~ProfileSlot()
{
    ::close(lockFd_);  // drops the flock
}

QString ProfileSlot::installationUrl() const
{
    return QUrl::fromLocalFile(dir_).toString(QUrl::FullyEncoded);
}

QString ProfileSlot::tempDir() const
{
    return dir_ + QStringLiteral("/tmp");
}

QString ProfileSlot::lockPath(const QString& slotDir)
{
    return slotDir + QStringLiteral("/marigal.lock");
}

QStringList ProfileSlot::freeSlots(const QString& root)
{
    QStringList free;
    const QDir dir(root);
    for (const QString& name : dir.entryList({QStringLiteral("p*")}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString slot = dir.absoluteFilePath(name);
        const int fd = ::open(QFile::encodeName(lockPath(slot)).constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) free << slot;
        ::close(fd);
    }
    return free;
}

bool ProfileSlot::healthy() const
{
    const auto values = settingsIn(readSmall(settingsPath(dir_)));
    // Each seeded setting but the version, which the office itself updates.
    const auto seeded = settingsIn(profileSeed(QString()));
    for (const auto& [key, value] : seeded) {
        const auto it = values.find(key);
        if (it == values.end() || it->second != value) return false;
    }
    if (javaSeedName().isEmpty()) return true;
    QXmlStreamReader java(readSmall(javaPath(dir_)));
    QString enabled;
    while (java.readNextStartElement()) {
        if (java.name() == QLatin1String("enabled")) enabled = java.readElementText();
        else if (java.name() != QLatin1String("java")) java.skipCurrentElement();
    }
    return !java.hasError() && enabled == QLatin1String("false");
}

void ProfileSlot::clear() const
{
    QDir(dir_ + QStringLiteral("/user")).removeRecursively();
}

void ProfileSlot::seed(const QString& installedVersion) const
{
    if (!QFile::exists(settingsPath(dir_))) writeSeedFile(settingsPath(dir_), profileSeed(installedVersion));
    if (!javaSeedName().isEmpty() && !QFile::exists(javaPath(dir_))) writeSeedFile(javaPath(dir_), javaSeed());
}

QByteArray profileSeed(const QString& installedVersion)
{
    QByteArray xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" xmlns:xs=\"http://www.w3.org/2001/XMLSchema\""
        " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n";
    if (!installedVersion.isEmpty())
        xml += item("/org.openoffice.Setup/Product", "ooSetupLastVersion", installedVersion.toHtmlEscaped().toUtf8());
    xml += item("/org.openoffice.Office.Common/Misc", "UseLocking", "false");
    xml += item("/org.openoffice.Office.Common/Security/Scripting", "MacroSecurityLevel", "3");
    xml += item("/org.openoffice.Office.Common/Security/Scripting", "DisableMacrosExecution", "true");
    // A document nobody here trusts (a list from somebody else) fetches
    // nothing it links to.
    xml += item("/org.openoffice.Office.Common/Security/Scripting", "BlockUntrustedRefererLinks", "true");
    // No office of ours has anything to fetch over a network: without the
    // providers of http, https, WebDAV, FTP and CMIS it cannot, whatever a
    // document links to.
    for (const char* provider : {"Provider3", "Provider4", "Provider4a", "Provider12", "Provider12a", "Provider12b",
                                 "Provider6", "Provider43"})
        xml += QByteArray("<item oor:path=\"/org.openoffice.ucb.Configuration/ContentProviders/Local/SecondaryKeys/"
                          "Office/ProviderData\"><node oor:name=\"") +
               provider + "\" oor:op=\"remove\"/></item>\n";
    xml += "</oor:items>\n";
    return xml;
}

QString javaSeedName()
{
    // The office's ${_OS}_${_ARCH} for the platforms it is built for here.
#if defined(__linux__) && defined(__x86_64__)
    return QStringLiteral("javasettings_Linux_X86_64.xml");
#elif defined(__linux__) && defined(__aarch64__)
    return QStringLiteral("javasettings_Linux_AARCH64.xml");
#else
    return {};
#endif
}

QByteArray javaSeed()
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<java xmlns=\"http://openoffice.org/2004/java/framework/1.0\""
           " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
           " <enabled xsi:nil=\"false\">false</enabled>\n"
           " <userClassPath xsi:nil=\"true\"/>\n"
           " <vmParameters xsi:nil=\"true\"/>\n"
           " <jreLocations xsi:nil=\"true\"/>\n"
           " <javaInfo xsi:nil=\"true\"/>\n"
           "</java>\n";
}

}  // namespace marigal::engine::lo
