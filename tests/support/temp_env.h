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

// For as long as it lives, a file this process writes stops growing at
// `bytes`: the write fails with EFBIG (SIGXFSZ ignored, as the program has
// it), as it would on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(long long bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    long long oldSoft_ = -1;
    void (*oldHandler_)(int) = nullptr;
};

// Writes `bytes` to `path`, creating it; returns the path.
QString WriteFile(const QString& path, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
// A small valid JPEG picture file.
QString WriteJpeg(const QString& path, int width = 64, int height = 48);

}  // namespace marigal::test
