#include "engine/libreoffice/office_install.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace marigal::engine::lo {

namespace {

const QString kDebianSoffice = QStringLiteral("/usr/lib/libreoffice/program/soffice");

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

QString readSmallFile(const QString& path, qint64 limit)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.read(limit));
}

}  // namespace

QString findSoffice(const QString& configured)
{
    if (!configured.isEmpty()) return isExecutableFile(configured) ? QFileInfo(configured).absoluteFilePath() : QString();
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (!onPath.isEmpty()) return onPath;
    return isExecutableFile(kDebianSoffice) ? kDebianSoffice : QString();
}

QString programDirOf(const QString& soffice)
{
    // /usr/bin/soffice is a link into the installation's program folder.
    const QString real = QFileInfo(soffice).canonicalFilePath();
    return QFileInfo(real.isEmpty() ? soffice : real).absolutePath();
}

QString officeBinaryOf(const QString& soffice)
{
    // Only the installation's own launcher: a wrapper elsewhere may do more.
    const QString real = QFileInfo(soffice).canonicalFilePath();
    if (QFileInfo(real).fileName() != QLatin1String("soffice")) return {};
    const QString bin = QFileInfo(real).absolutePath() + QStringLiteral("/soffice.bin");
    return isExecutableFile(bin) ? bin : QString();
}

QString installedVersion(const QString& programDir)
{
    const QDir program(programDir);

    // The value the office itself reads; main.xcd is ~2 MB, read only when a
    // profile is first made.
    const QString xcd = readSmallFile(program.absoluteFilePath(QStringLiteral("../share/registry/main.xcd")), 16 << 20);
    static const QRegularExpression setupVersion(
        QStringLiteral(R"re(oor:name="ooSetupVersion"\s*>\s*<value>\s*(\d+\.\d+)\s*</value>)re"));
    if (const auto m = setupVersion.match(xcd); m.hasMatch()) return m.captured(1);

    const QString rc = readSmallFile(program.absoluteFilePath(QStringLiteral("bootstraprc")), 64 << 10);
    static const QRegularExpression productKey(QStringLiteral(R"re((?m)^ProductKey=.*?(\d+\.\d+)\s*$)re"));
    if (const auto m = productKey.match(rc); m.hasMatch()) return m.captured(1);
    return {};
}

}  // namespace marigal::engine::lo
