#include "tests/support/temp_env.h"

#include <QFile>
#include <QImage>

#include <csignal>

#include <sys/resource.h>

namespace marigal::test {

ScopedEnv::ScopedEnv(const char* name, const std::optional<QByteArray>& value) : name_(name)
{
    if (qEnvironmentVariableIsSet(name)) old_ = qgetenv(name);
    if (value) qputenv(name, *value);
    else qunsetenv(name);
}

ScopedEnv::~ScopedEnv()
{
    if (old_) qputenv(name_.constData(), *old_);
    else qunsetenv(name_.constData());
}

FileSizeLimit::FileSizeLimit(long long bytes)
{
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    oldSoft_ = static_cast<long long>(limit.rlim_cur);
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    ::setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit()
{
    struct rlimit limit {};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(oldSoft_);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler_);
}

QString WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    return path;
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString WriteJpeg(const QString& path, int width, int height)
{
    QImage img(width, height, QImage::Format_RGB32);
    img.fill(QColor(200, 120, 40));
    img.save(path, "JPG");
    return path;
}

}  // namespace marigal::test
