#include "tests/support/picture_check.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <deque>

namespace marigal::test {

QImage CheckerPhoto(QSize size, int cell)
{
    QImage photo(size, QImage::Format_RGB32);
    QPainter p(&photo);
    for (int y = 0; y < size.height(); y += cell)
        for (int x = 0; x < size.width(); x += cell) p.fillRect(x, y, cell, cell, kPhotoInk[(x / cell + y / cell) % 2]);
    return photo;
}

namespace {

// 0 or 1 for the photo's two colours, -1 for anything else (a blend of
// the two where squares meet among it).
int InkOf(QRgb pixel)
{
    for (int i = 0; i < 2; ++i)
        if (std::abs(qRed(pixel) - kPhotoInk[i].red()) < 50 && std::abs(qGreen(pixel) - kPhotoInk[i].green()) < 50 &&
            std::abs(qBlue(pixel) - kPhotoInk[i].blue()) < 50)
            return i;
    return -1;
}

// The mean length of the runs of one colour along the lines through `box`,
// across or down, leaving out the runs cut by the box's edges.
double MeanRun(const QImage& image, const QRect& box, bool across)
{
    double sum = 0;
    int runs = 0;
    const int lines = across ? box.height() : box.width();
    for (int l = lines / 4; l < lines * 3 / 4; l += std::max(1, lines / 20)) {
        int last = -2, length = 0;
        bool first = true;
        const int steps = across ? box.width() : box.height();
        for (int s = 0; s < steps; ++s) {
            const QPoint at = across ? QPoint(box.left() + s, box.top() + l) : QPoint(box.left() + l, box.top() + s);
            const int ink = InkOf(image.pixel(at));
            if (ink == last) {
                ++length;
                continue;
            }
            if (last >= 0 && !first) sum += length, ++runs;
            if (last >= 0) first = false;
            last = ink, length = 1;
        }
    }
    return runs ? sum / runs : 0;
}

}  // namespace

bool IsPhotoInk(QRgb pixel)
{
    // Either colour or a blend of them: little green, much blue. No design
    // has such a colour.
    return qGreen(pixel) < 90 && qBlue(pixel) > 140 && qBlue(pixel) - qGreen(pixel) > 100;
}

std::vector<InkArea> PhotoAreas(const QImage& picture, int minPixels)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    std::vector<char> seen(size_t(w) * size_t(h), 0);
    std::vector<InkArea> areas;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (seen[size_t(y * w + x)] || !IsPhotoInk(image.pixel(x, y))) continue;
            QRect box(x, y, 1, 1);
            int count = 0;
            std::deque<QPoint> todo{QPoint(x, y)};
            seen[size_t(y * w + x)] = 1;
            while (!todo.empty()) {
                const QPoint p = todo.front();
                todo.pop_front();
                ++count;
                box |= QRect(p, QSize(1, 1));
                for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint n = p + d;
                    if (n.x() < 0 || n.y() < 0 || n.x() >= w || n.y() >= h || seen[size_t(n.y() * w + n.x())]) continue;
                    if (!IsPhotoInk(image.pixel(n))) continue;
                    seen[size_t(n.y() * w + n.x())] = 1;
                    todo.push_back(n);
                }
            }
            if (count < minPixels) continue;
            const double across = MeanRun(image, box, true), down = MeanRun(image, box, false);
            areas.push_back({box, double(count) / (box.width() * box.height()), down > 0 ? across / down : 0});
        }
    std::sort(areas.begin(), areas.end(), [](const InkArea& a, const InkArea& b) {
        return a.box.width() * a.box.height() > b.box.width() * b.box.height();
    });
    return areas;
}

}  // namespace marigal::test
