#include "photo/subject.h"

#include <QLoggingCategory>

#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

namespace marigal {

namespace {

Q_LOGGING_CATEGORY(lcFaces, "marigal.photo")

// OpenCV's Haar cascade for frontal faces, from Debian's opencv-data: it
// finds faces down to 20 pixels on the copy searched, a child's in a group
// photo among them (dlib's detector, the other in Debian, misses faces
// smaller than about 80 pixels there).
const char kCascade[] = "/usr/share/opencv4/haarcascades/haarcascade_frontalface_alt2.xml";

// A detector of its own for each search: the cascade keeps scratch
// buffers of some 45 MB while it searches (and for as long as it lives),
// and the photo's cut that follows needs the memory; reading it costs a
// few milliseconds.
std::unique_ptr<cv::CascadeClassifier> Detector()
{
    static std::once_flag once;
    // Several cards are made side by side: one thread each is enough.
    std::call_once(once, [] { cv::setNumThreads(1); });
    auto detector = std::make_unique<cv::CascadeClassifier>();
    try {
        if (detector->load(kCascade)) return detector;
    } catch (const cv::Exception&) {
    }
    static std::once_flag said;
    std::call_once(said, [] {
        qCWarning(lcFaces, "no face detector (%s): photos are cut around what catches the eye", kCascade);
    });
    return nullptr;
}

}  // namespace

std::vector<QRect> FindFaces(const QImage& picture)
{
    if (picture.isNull()) return {};
    const std::unique_ptr<cv::CascadeClassifier> detector = Detector();
    if (!detector) return {};
    // A copy of at most 1600 pixels across keeps a face a twentieth of the
    // photo across larger than the cascade's 20-pixel window.
    constexpr int kLongest = 1600;
    QImage grey = picture;
    if (std::max(grey.width(), grey.height()) > kLongest)
        grey = grey.scaled(kLongest, kLongest, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    grey = grey.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat rows(grey.height(), grey.width(), CV_8UC1, const_cast<uchar*>(grey.constBits()),
                       size_t(grey.bytesPerLine()));
    std::vector<cv::Rect> found;
    std::vector<int> support;
    try {
        // No histogram equalizing: it makes faces of lawns and lights out of focus.
        detector->detectMultiScale(rows, found, support, 1.1, 4, 0, cv::Size(20, 20));
    } catch (const cv::Exception&) {
        return {};
    }
    // A clear face gathers many overlapping hits; a box with few next to one
    // with many is more likely a pattern than a face.
    const int best = support.empty() ? 0 : *std::max_element(support.begin(), support.end());
    const double kx = double(picture.width()) / grey.width(), ky = double(picture.height()) / grey.height();
    std::vector<QRect> faces;
    for (size_t i = 0; i < found.size(); ++i) {
        if (i < support.size() && support[i] * 3 < best) continue;
        const cv::Rect& r = found[i];
        faces.push_back(QRect(int(r.x * kx), int(r.y * ky), int(r.width * kx), int(r.height * ky)) & picture.rect());
    }
    return faces;
}

}  // namespace marigal
