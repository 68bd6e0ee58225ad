#include "photo/subject.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace marigal {

namespace {

// The attention map is worked out this small: the stretch the eye goes to
// is broad, and a few thousand samples find it in a millisecond.
constexpr int kMapSide = 128;

// How much a pixel draws the eye: edges (detail, texture), skin and strong
// colour, as a person looking at a photo sees them first.
std::vector<float> AttentionMap(const QImage& small)
{
    const int w = small.width(), h = small.height();
    std::vector<float> luma(size_t(w) * size_t(h)), map(size_t(w) * size_t(h), 0.0f);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(small.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            const float r = float(qRed(p)), g = float(qGreen(p)), b = float(qBlue(p));
            luma[size_t(y * w + x)] = 0.299f * r + 0.587f * g + 0.114f * b;
            const float top = std::max({r, g, b}), bottom = std::min({r, g, b});
            const float saturation = top > 0 ? (top - bottom) / top : 0;
            // Skin of every shade: red above green above blue, in a narrow band of hues.
            const bool skin = r > 60 && r > g && g > b && (r - g) > 0.08f * r && (r - b) > 0.2f * r && (r - b) < 0.75f * r &&
                              (g - b) < 0.5f * (r - b) + 25;
            map[size_t(y * w + x)] = 0.6f * saturation + (skin ? 1.0f : 0.0f);
        }
    }
    for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
            const size_t i = size_t(y * w + x);
            const float laplace = std::abs(4 * luma[i] - luma[i - 1] - luma[i + 1] - luma[i - size_t(w)] - luma[i + size_t(w)]);
            map[i] += std::min(laplace / 40.0f, 1.5f);
        }
    return map;
}

// The window along one axis: of `window` samples out of `length`, where the
// sum of `weights` is largest; the middle wins a tie, and a window covering
// the subject keeps it.
int BestOffset(const std::vector<double>& weights, int window)
{
    const int length = int(weights.size());
    if (window >= length) return 0;
    std::vector<double> sums(size_t(length) + 1, 0.0);
    std::partial_sum(weights.begin(), weights.end(), sums.begin() + 1);
    const double middle = (length - window) / 2.0;
    int best = int(std::lround(middle));
    double bestScore = -1;
    for (int at = 0; at + window <= length; ++at) {
        // A slight pull to the middle: a photo with its interest everywhere is cut evenly.
        const double score = sums[size_t(at + window)] - sums[size_t(at)] - 1e-6 * std::abs(at - middle) * sums.back();
        if (score > bestScore) bestScore = score, best = at;
    }
    return best;
}

int Snapped(int at, int length, int room)
{
    const int down = at / 16 * 16;
    return std::clamp(down, 0, std::max(0, room - length));
}

}  // namespace

Subject FindSubject(const QImage& picture)
{
    Subject subject;
    subject.area = QRectF(0, 0, 1, 1);
    if (picture.isNull()) return subject;
    const std::vector<QRect> faces = FindFaces(picture);
    if (!faces.empty()) {
        QRectF all;
        for (const QRect& f : faces) {
            // Hair above, the chin and a little neck below, ears to the sides.
            const QRectF head(f.x() - 0.2 * f.width(), f.y() - 0.45 * f.height(), 1.4 * f.width(), 1.75 * f.height());
            all = all.isNull() ? head : all.united(head);
        }
        const QRectF whole(0, 0, picture.width(), picture.height());
        all = all.intersected(whole);
        subject.area = QRectF(all.x() / whole.width(), all.y() / whole.height(), all.width() / whole.width(),
                              all.height() / whole.height());
        subject.faces = int(faces.size());
        return subject;
    }
    const QImage small = picture.scaled(kMapSide, kMapSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGB32);
    const int w = small.width(), h = small.height();
    const std::vector<float> map = AttentionMap(small);
    // The stretch the eye goes to, as columns and as rows: a window is found along one of them.
    std::vector<double> columns(size_t(w), 0.0), rows(size_t(h), 0.0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            columns[size_t(x)] += map[size_t(y * w + x)];
            rows[size_t(y)] += map[size_t(y * w + x)];
        }
    // Not a face: the area is the heart of it, a fifth of each side; FillWindow centres on it.
    const auto heart = [](const std::vector<double>& weights) {
        const int length = int(weights.size());
        const int window = std::max(1, length / 5);
        return (BestOffset(weights, window) + window / 2.0) / length;
    };
    const double cx = heart(columns), cy = heart(rows);
    subject.area = QRectF(cx - 0.1, cy - 0.1, 0.2, 0.2);
    return subject;
}

QRect FillWindow(QSize photo, QSize room, const Subject& subject)
{
    if (photo.isEmpty() || room.isEmpty()) return QRect(QPoint(0, 0), photo);
    const double roomAspect = double(room.width()) / room.height();
    int w = photo.width(), h = photo.height();
    if (double(w) / h > roomAspect) w = std::max(1, int(std::lround(h * roomAspect)));
    else h = std::max(1, int(std::lround(w / roomAspect)));
    w = std::min(w, photo.width());
    h = std::min(h, photo.height());
    // Along the free side: centred on the subject, kept inside the photo;
    // a subject larger than the window keeps its top (faces, heads).
    const QRectF s(subject.area.x() * photo.width(), subject.area.y() * photo.height(),
                   subject.area.width() * photo.width(), subject.area.height() * photo.height());
    int x = int(std::lround(s.center().x() - w / 2.0));
    int y = int(std::lround(s.center().y() - h / 2.0));
    if (subject.faces > 0 && s.height() > h) y = int(std::lround(s.top()));
    if (subject.faces > 0 && s.width() > w) x = int(std::lround(s.center().x() - w / 2.0));
    x = std::clamp(x, 0, photo.width() - w);
    y = std::clamp(y, 0, photo.height() - h);
    return QRect(Snapped(x, w, photo.width()), Snapped(y, h, photo.height()), w, h);
}

QRect WholeWindow(QSize photo, QSize room)
{
    if (photo.isEmpty() || room.isEmpty()) return QRect(QPoint(0, 0), photo);
    const double roomAspect = double(room.width()) / room.height();
    int w = photo.width(), h = photo.height();
    if (double(w) / h > roomAspect) h = int(std::lround(w / roomAspect));
    else w = int(std::lround(h * roomAspect));
    // The photo in the middle; the corner on whole blocks, so the mat is a
    // few pixels wider on one side at most.
    const auto corner = [](int extra) {
        const int offset = (extra / 2 + 8) / 16 * 16;
        return -std::min(offset, std::max(0, extra) / 16 * 16);
    };
    return QRect(corner(w - photo.width()), corner(h - photo.height()), std::max(w, photo.width()),
                 std::max(h, photo.height()));
}

}  // namespace marigal
