#pragma once
// Test helpers: a temporary folder, and an environment variable set for the
// length of one test.

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace marigal::test {

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<QByteArray>& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray name_;
    std::optional<QByteArray> old_;
};

// Writes `bytes` to `path`, creating it; returns the path.
QString WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
// A small valid JPEG picture file.
QString WriteJpeg(const QString& path, int width = 64, int height = 48);

}  // namespace marigal::test
