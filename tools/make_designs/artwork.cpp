#include "tools/make_designs/artwork.h"

#include "tools/make_designs/paint.h"

#include <QLinearGradient>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <vector>

namespace marigal::designs {

namespace {

constexpr double kPi = std::numbers::pi;

// A picture covering `size` (1/100 mm) at `dpi`, and a painter on it that
// draws in 1/100 mm.
struct Picture {
    Picture(QSize size, double dpi, const QColor& ground = Qt::transparent)
        // At least `dpi`: a print shop's check rounds nothing up.
        : image(QSize(std::max(1, int(std::ceil(size.width() / 2540.0 * dpi))),
                      std::max(1, int(std::ceil(size.height() / 2540.0 * dpi)))),
                QImage::Format_ARGB32_Premultiplied),
          units(size)
    {
        image.fill(ground);
        const int dpm = int(std::lround(dpi / 0.0254));
        image.setDotsPerMeterX(dpm);
        image.setDotsPerMeterY(dpm);
        painter.begin(&image);
        Smooth(painter);
        painter.scale(image.width() / double(size.width()), image.height() / double(size.height()));
    }
    // Opaque pictures go into the document without an alpha channel.
    QImage finish(bool opaque = true)
    {
        painter.end();
        return image.convertToFormat(opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    }
    double w() const { return units.width(); }
    double h() const { return units.height(); }

    QImage image;
    QSize units;
    QPainter painter;
};

// The places of a picture's words, kept plain: a motif is left out where it
// would reach into one.
class Calm {
public:
    explicit Calm(std::vector<QRectF> areas) : areas_(std::move(areas)) {}
    // True when a motif of `reach` around `at` stays clear of every place.
    bool clear(QPointF at, double reach) const
    {
        for (const QRectF& a : areas_) {
            const double dx = std::max({a.left() - at.x(), 0.0, at.x() - a.right()});
            const double dy = std::max({a.top() - at.y(), 0.0, at.y() - a.bottom()});
            if (std::hypot(dx, dy) < reach) return false;
        }
        return true;
    }
    // Paints `draw` on a layer of its own, and on the page with the places
    // wiped out of it (their edges faded over `fade`).
    void paint(QPainter& p, double fade, const std::function<void(QPainter&)>& draw) const
    {
        QImage layer = Layer(p.device()->width() > 0 ? QSize(p.device()->width(), p.device()->height()) : QSize(1, 1));
        {
            QPainter q(&layer);
            Smooth(q);
            q.setTransform(p.transform());
            draw(q);
            q.setCompositionMode(QPainter::CompositionMode_DestinationOut);
            for (const QRectF& a : areas_) {
                for (int i = 0; i < 8; ++i) {
                    const double grow = fade * (8 - i) / 8;
                    q.setPen(Qt::NoPen);
                    q.setBrush(QColor(0, 0, 0, 255 / 8 + 1));
                    q.drawRoundedRect(a.adjusted(-grow, -grow, grow, grow), grow, grow);
                }
            }
        }
        p.save();
        p.resetTransform();
        p.drawImage(0, 0, layer);
        p.restore();
    }

private:
    std::vector<QRectF> areas_;
};

void FillVertical(QPainter& p, const QRectF& area, std::initializer_list<std::pair<double, QColor>> stops)
{
    QLinearGradient g(area.topLeft(), area.bottomLeft());
    for (const auto& [at, colour] : stops) g.setColorAt(at, colour);
    p.fillRect(area, g);
}

void Glow(QPainter& p, QPointF centre, double radius, const QColor& colour)
{
    QRadialGradient g(centre, radius);
    g.setColorAt(0.0, colour);
    g.setColorAt(0.35, WithAlpha(colour, colour.alphaF() * 0.45));
    g.setColorAt(1.0, WithAlpha(colour, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(centre, radius, radius);
}

// A smooth ridge across `width`: a sum of gentle waves around `y`.
QPainterPath Ridge(Rng& rng, double width, double y, double amplitude, double bottom, int waves = 3)
{
    double phase[4], freq[4], amp[4];
    for (int i = 0; i < 4; ++i) {
        phase[i] = rng.uniform(0, 2 * kPi);
        freq[i] = (i + 1) * rng.uniform(0.7, 1.3);
        amp[i] = amplitude / (i + 1) * rng.uniform(0.6, 1.0);
    }
    QPainterPath path;
    const int steps = 64;
    for (int s = 0; s <= steps; ++s) {
        const double x = width * s / steps;
        double dy = 0;
        for (int i = 0; i < std::min(waves, 4); ++i) dy += amp[i] * std::sin(phase[i] + freq[i] * kPi * x / width);
        if (s == 0) path.moveTo(-width * 0.02, y + dy);
        path.lineTo(x + (s == steps ? width * 0.02 : 0), y + dy);
    }
    path.lineTo(width * 1.02, bottom);
    path.lineTo(-width * 0.02, bottom);
    path.closeSubpath();
    return path;
}

// Three birds far away: two arcs each.
void Birds(QPainter& p, QPointF at, double size, const QColor& colour)
{
    p.save();
    p.setPen(QPen(colour, size * 0.09, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF offsets[] = {{0, 0}, {size * 1.6, size * 0.5}, {size * 0.8, size * 1.3}};
    const double scales[] = {1.0, 0.75, 0.6};
    for (int i = 0; i < 3; ++i) {
        const QPointF c = at + offsets[i];
        const double s = size * scales[i];
        QPainterPath bird;
        bird.moveTo(c + QPointF(-s, -s * 0.1));
        bird.quadTo(c + QPointF(-s * 0.5, -s * 0.55), c);
        bird.quadTo(c + QPointF(s * 0.5, -s * 0.55), c + QPointF(s, -s * 0.1));
        p.drawPath(bird);
    }
    p.restore();
}

// A soft rainbow: pastel bands on a circle around `centre`.
void Rainbow(QPainter& p, QPointF centre, double radius, double band, double opacity)
{
    const QColor bands[] = {{255, 120, 120}, {255, 185, 110}, {255, 230, 120},
                            {140, 215, 140}, {120, 180, 240}, {170, 140, 220}};
    PaintSoft(p, band * 0.35, opacity, [&](QPainter& q) {
        for (int i = 0; i < 6; ++i) {
            const double r = radius - i * band;
            q.setPen(QPen(bands[i], band * 1.05, Qt::SolidLine, Qt::FlatCap));
            q.setBrush(Qt::NoBrush);
            q.drawEllipse(centre, r, r);
        }
    });
}

void Stem(QPainter& p, QPointF from, QPointF bend, QPointF to, double width, const QColor& colour)
{
    QPainterPath stem;
    stem.moveTo(from);
    stem.quadTo(bend, to);
    p.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(stem);
}

// Wildflowers scattered in a band of the meadow, smaller towards the back.
void Wildflowers(QPainter& p, Rng& rng, const QRectF& band, int count, double size)
{
    const QColor poppy(222, 45, 40), cornflower(70, 110, 215), buttercup(255, 205, 40), clover(200, 120, 200);
    for (int i = 0; i < count; ++i) {
        const double depth = (i + rng.uniform()) / count;  // 0 at the back
        const double y = band.top() + band.height() * depth;
        const double x = band.left() + rng.uniform() * band.width();
        const double r = size * (0.35 + 0.65 * depth) * rng.uniform(0.75, 1.2);
        const QPointF c(x, y);
        Stem(p, c + QPointF(0, r * 2.4), c + QPointF(r * 0.2, r * 1.2), c, r * 0.12, QColor(70, 125, 45));
        switch (rng.below(5)) {
        case 0:
        case 1: DrawDaisy(p, rng, c, r, QColor(255, 255, 252), QColor(250, 190, 30)); break;
        case 2: DrawPoppy(p, rng, c, r * 1.1, poppy); break;
        case 3: DrawFloret(p, c, r * 0.7, rng.below(2) ? cornflower : clover); break;
        default: DrawBlossom(p, rng, c, r * 0.75, buttercup); break;
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------
// Clouds

namespace {

// A sheet to be cut to `trim`: white, the card's art painted by `art` on the
// card and a little beyond (so a cut slightly off leaves no white edge), the
// marks for cutting and folding outside it.
QImage Sheet(QSize size, QRect trim, double dpi, const std::function<void(QPainter&, double, double)>& art)
{
    Picture pic(size, dpi, Qt::white);
    QPainter& p = pic.painter;
    constexpr int kBleed = 150;
    const QRectF area = QRectF(trim).adjusted(-kBleed, -kBleed, kBleed, kBleed);
    p.save();
    p.setClipRect(area);
    p.translate(area.topLeft());
    art(p, area.width(), area.height());
    p.restore();
    const double fold = trim.left() + trim.width() / 2.0;
    const double off = kBleed + 50, top = 450, other = 700;
    p.setPen(QPen(QColor(128, 128, 128), 25, Qt::SolidLine, Qt::FlatCap));
    for (const double x : {double(trim.left()), fold, double(trim.right() + 1)}) {
        p.drawLine(QPointF(x, trim.top() - off - top), QPointF(x, trim.top() - off));
        p.drawLine(QPointF(x, trim.bottom() + 1 + off), QPointF(x, trim.bottom() + 1 + off + other));
    }
    for (const double y : {double(trim.top()), double(trim.bottom() + 1)}) {
        p.drawLine(QPointF(trim.left() - off - other, y), QPointF(trim.left() - off, y));
        p.drawLine(QPointF(trim.right() + 1 + off, y), QPointF(trim.right() + 1 + off + other, y));
    }
    return pic.finish();
}

// A bank of clouds along the bottom of a sky `w` x `h`, reaching `height`
// of it: a bluer back row, then a bright front row; their flat bases lie
// below the bottom edge.
void CloudBank(QPainter& p, Rng& rng, double w, double h, double height, const QColor& shade)
{
    for (int row = 0; row < 2; ++row) {
        const int n = row == 0 ? 8 : 10;
        for (int i = 0; i < n; ++i) {
            const double ch = h * height * (row == 0 ? rng.uniform(1.0, 1.25) : rng.uniform(0.95, 1.15));
            const double cw = ch * rng.uniform(1.7, 2.1);
            const double x = w * (i + rng.uniform(-0.2, 0.2)) / (n - 1) - cw / 2;
            const double top = h - ch * (row == 0 ? rng.uniform(0.85, 0.95) : rng.uniform(0.6, 0.75));
            DrawCloud(p, rng, QRectF(x, top, cw, ch), row == 0 ? Mix(shade, QColor(150, 180, 215), 0.3) : shade,
                      cw * 0.01);
        }
    }
}

}  // namespace

QImage CloudsOutside(QSize size, QRect trim, double dpi)
{
    return Sheet(size, trim, dpi, [](QPainter& p, double w, double h) {
        Rng rng(101001);
        FillVertical(p, QRectF(0, 0, w, h),
                     {{0.0, QColor(88, 160, 226)}, {0.55, QColor(150, 201, 240)}, {1.0, QColor(222, 240, 252)}});
        // The sun over the front (right half), its warmth spread over the sky.
        Glow(p, QPointF(w * 0.86, h * 0.12), w * 0.3, QColor(255, 250, 225, 170));
        Glow(p, QPointF(w * 0.86, h * 0.12), w * 0.05, QColor(255, 255, 240, 255));
        // Faint high clouds, then the bank along the bottom.
        for (int i = 0; i < 5; ++i) {
            const double cw = w * rng.uniform(0.08, 0.14);
            DrawCloud(p, rng, QRectF(w * rng.uniform(0.0, 0.92), h * rng.uniform(0.05, 0.4), cw, cw * 0.42),
                      QColor(190, 214, 238), cw * 0.04);
        }
        CloudBank(p, rng, w, h, 0.19, QColor(172, 198, 230));
        Birds(p, QPointF(w * 0.64, h * 0.2), w * 0.012, QColor(70, 95, 130));
    });
}

QImage CloudsInside(QSize size, QRect trim, QRect message, double dpi)
{
    constexpr int kBleed = 150;
    const QRectF text = QRectF(message).translated(-(trim.left() - kBleed), -(trim.top() - kBleed));
    return Sheet(size, trim, dpi, [&](QPainter& p, double w, double h) {
        Rng rng(101002);
        FillVertical(p, QRectF(0, 0, w, h),
                     {{0.0, QColor(196, 226, 248)}, {0.5, QColor(232, 244, 253)}, {1.0, QColor(246, 251, 255)}});
        // A pastel rainbow rising out of the clouds on the left-hand page.
        Rainbow(p, QPointF(w * 0.2, h * 1.0), w * 0.2, w * 0.012, 0.55);
        Glow(p, QPointF(w * 0.06, h * 0.08), w * 0.16, QColor(255, 250, 220, 150));
        for (int i = 0; i < 3; ++i) {
            const double cw = w * rng.uniform(0.09, 0.13);
            DrawCloud(p, rng,
                      QRectF(w * (0.05 + 0.14 * i) + rng.uniform(0, 0.03) * w, h * rng.uniform(0.08, 0.35), cw,
                             cw * 0.45),
                      QColor(200, 222, 242), cw * 0.03);
        }
        // The message lies on clear, bright sky, a small sun and cloud above it.
        PaintSoft(p, text.height() * 0.3, 0.8, [&](QPainter& q) {
            q.setPen(Qt::NoPen);
            q.setBrush(QColor(255, 255, 255));
            q.drawRoundedRect(text.adjusted(-500, -1500, 500, 400), 1500, 1500);
        });
        const QPointF sun(text.center().x() + text.width() * 0.06, text.top() - 1500);
        Glow(p, sun, 1400, QColor(255, 236, 150, 200));
        QRadialGradient disc(sun - QPointF(150, 150), 700);
        disc.setColorAt(0.0, QColor(255, 246, 170));
        disc.setColorAt(1.0, QColor(255, 196, 60));
        p.setPen(Qt::NoPen);
        p.setBrush(disc);
        p.drawEllipse(sun, 560, 560);
        DrawCloud(p, rng, QRectF(sun.x() - 2400, sun.y() - 200, 2600, 1100), QColor(190, 212, 236), 40);
        CloudBank(p, rng, w, h, 0.13, QColor(190, 212, 236));
    });
}

QImage CloudsFramePicture(QSize size, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(101003);
    const double w = pic.w(), h = pic.h();
    // Clear sky at the top: a photo that does not take the frame's full
    // height leaves a strip of this showing under it.
    FillVertical(p, QRectF(0, 0, w, h),
                 {{0.0, QColor(120, 182, 236)}, {0.6, QColor(176, 216, 245)}, {1.0, QColor(236, 246, 253)}});
    Glow(p, QPointF(w * 0.72, h * 0.38), w * 0.4, QColor(255, 248, 215, 200));
    Glow(p, QPointF(w * 0.72, h * 0.38), w * 0.07, QColor(255, 255, 238, 255));
    Rainbow(p, QPointF(w * 0.42, h * 1.15), w * 0.42, w * 0.018, 0.5);
    for (int i = 0; i < 7; ++i) {
        const double cw = w * rng.uniform(0.3, 0.48);
        DrawCloud(p, rng, QRectF(w * (i / 6.0) - cw * 0.5, h - cw * 0.5 * rng.uniform(0.6, 0.8), cw, cw * 0.5),
                  QColor(186, 208, 234), cw * 0.02);
    }
    Birds(p, QPointF(w * 0.2, h * 0.28), w * 0.025, QColor(70, 95, 130));
    return pic.finish();
}

// ---------------------------------------------------------------------------
// Hearts

QImage HeartsPage(QSize size, QRect frame, QRect message, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(103001);
    const double w = pic.w(), h = pic.h();
    FillVertical(p, QRectF(0, 0, w, h),
                 {{0.0, QColor(250, 210, 222)}, {0.5, QColor(253, 232, 237)}, {1.0, QColor(255, 244, 240)}});
    // The message lies on plain paper.
    const Calm calm({QRectF(message).adjusted(-200, -200, 200, 200)});
    // Big out-of-focus hearts drifting behind everything.
    PaintSoft(p, w * 0.01, 0.6, [&](QPainter& q) {
        for (int i = 0; i < 16; ++i) {
            const QPointF c(rng.uniform(0, w), rng.uniform(0, h));
            const double s = w * rng.uniform(0.08, 0.2);
            const double angle = rng.uniform(-25, 25), alpha = rng.uniform(0.3, 0.6);
            if (!calm.clear(c, s * 0.75)) continue;
            q.fillPath(HeartPath(c, s, angle), WithAlpha(i % 3 ? QColor(255, 255, 255) : QColor(240, 140, 165), alpha));
        }
    });
    calm.paint(p, w * 0.02, [&](QPainter& q) {
        DrawBokeh(q, rng, QRectF(0, 0, w, h), 50, QColor(255, 255, 255), w * 0.006, w * 0.022);
    });
    // Light around the photo frame lifts it off the page.
    PaintSoft(p, w * 0.025, 1.0, [&](QPainter& q) {
        q.setPen(Qt::NoPen);
        q.setBrush(QColor(255, 255, 255, 220));
        q.drawRect(QRectF(frame).adjusted(-250, -250, 250, 250));
    });
    // Glossy hearts tumbling from the top left corner and piling up in the
    // bottom right one, each with a rosy glow.
    const QColor reds[] = {{214, 30, 62}, {240, 96, 126}, {246, 140, 165}, {190, 18, 48}, {250, 176, 196}};
    struct Spot {
        QPointF at;
        double size, angle;
    };
    std::vector<Spot> hearts;
    const auto scatter = [&](QPointF corner, double dx, double dy, int count, double big) {
        for (int i = 0; i < count; ++i) {
            const double t = i / double(count);
            const double reach = w * (0.04 + 0.42 * t);
            const double a = rng.uniform(0.05, 0.95) * kPi / 2;
            hearts.push_back({corner + QPointF(dx * std::cos(a) * reach, dy * std::sin(a) * reach * 0.9),
                              w * big * (1.0 - 0.75 * t) * rng.uniform(0.8, 1.1), rng.uniform(-28, 28)});
        }
    };
    scatter(QPointF(w * 0.02, h * 0.015), 1, 1, 11, 0.13);
    scatter(QPointF(w * 0.98, h * 0.985), -1, -1, 13, 0.15);
    // Keep the hearts off the photo frame and the message.
    const QRectF keep = QRectF(frame).adjusted(-150, -150, 150, 150);
    std::erase_if(hearts, [&](const Spot& s) { return keep.contains(s.at) || !calm.clear(s.at, s.size * 0.9); });
    PaintSoft(p, w * 0.02, 0.55, [&](QPainter& q) {
        for (const Spot& s : hearts) q.fillPath(HeartPath(s.at, s.size * 1.3, s.angle), QColor(235, 60, 95));
    });
    // Smaller hearts drawn last sit in front of the big ones.
    std::sort(hearts.begin(), hearts.end(), [](const Spot& a, const Spot& b) { return a.size > b.size; });
    int i = 0;
    for (const Spot& s : hearts) DrawHeart(p, s.at, s.size, reds[i++ % 5], s.angle);
    return pic.finish();
}

QImage HeartsCover(QSize size, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(103002);
    const double w = pic.w(), h = pic.h();
    QRadialGradient ground(QPointF(w / 2, h * 0.45), w * 0.7);
    ground.setColorAt(0.0, QColor(255, 236, 240));
    ground.setColorAt(0.6, QColor(246, 178, 196));
    ground.setColorAt(1.0, QColor(226, 120, 150));
    p.fillRect(QRectF(0, 0, w, h), ground);
    DrawBokeh(p, rng, QRectF(0, 0, w, h), 30, QColor(255, 255, 255), w * 0.01, w * 0.05);
    const QPointF centre(w / 2, h * 0.5);
    const double big = std::min(w, h) * 0.62;
    PaintSoft(p, big * 0.12, 0.8, [&](QPainter& q) {
        q.fillPath(HeartPath(centre, big * 1.2), QColor(255, 90, 120));
    });
    DrawHeart(p, centre, big, QColor(214, 28, 60));
    for (int i = 0; i < 6; ++i) {
        const double a = i * 60 + rng.uniform(-15, 15);
        const QPointF at = centre + QPointF(std::cos(a * kPi / 180) * big * 0.85, std::sin(a * kPi / 180) * big * 0.6);
        DrawHeart(p, at, big * rng.uniform(0.1, 0.18), i % 2 ? QColor(250, 150, 175) : QColor(236, 70, 100),
                  rng.uniform(-30, 30));
    }
    return pic.finish();
}

QImage HeartsGarland(QSize size, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(103003);
    const double w = pic.w(), h = pic.h();
    // A ribbon sagging between two points, hearts hanging from it.
    const auto along = [&](double t) {
        return QPointF(w * (0.03 + 0.94 * t), h * (0.12 + 0.3 * std::sin(kPi * t)));
    };
    QPainterPath string;
    string.moveTo(along(0));
    for (int s = 1; s <= 40; ++s) string.lineTo(along(s / 40.0));
    p.setPen(QPen(QColor(205, 120, 140), h * 0.025, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawPath(string);
    const QColor colours[] = {{214, 30, 62}, {245, 130, 155}, {236, 80, 110}};
    const int n = 9;
    for (int i = 0; i < n; ++i) {
        const double t = (i + 0.5) / n;
        const QPointF top = along(t);
        const double drop = h * (i % 2 ? 0.2 : 0.3);
        const double s = h * (i % 2 ? 0.32 : 0.42) * rng.uniform(0.9, 1.05);
        p.setPen(QPen(QColor(205, 120, 140), h * 0.015));
        p.drawLine(top, top + QPointF(0, drop));
        DrawHeart(p, top + QPointF(0, drop + s * 0.4), s, colours[i % 3], rng.uniform(-12, 12));
    }
    return pic.finish(false);
}

// ---------------------------------------------------------------------------
// Meadow

QImage MeadowPage(QSize size, QRect panel, QRect title, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(104001);
    const double w = pic.w(), h = pic.h();
    const double horizon = h * 0.6;
    FillVertical(p, QRectF(0, 0, w, horizon + h * 0.05),
                 {{0.0, QColor(104, 174, 228)}, {0.7, QColor(184, 222, 245)}, {1.0, QColor(226, 241, 250)}});
    // The sun low on the left, under the title's clear sky; its light spread wide.
    Glow(p, QPointF(w * 0.06, h * 0.27), w * 0.55, QColor(255, 246, 210, 200));
    Glow(p, QPointF(w * 0.06, h * 0.27), w * 0.09, QColor(255, 255, 240, 255));
    const QRectF clearSky = QRectF(title).adjusted(-200, -200, 200, 200);
    for (int i = 0; i < 5; ++i) {
        const double cw = w * rng.uniform(0.22, 0.38);
        const QRectF box(w * rng.uniform(-0.1, 0.85), h * rng.uniform(0.2, 0.48), cw, cw * 0.45);
        DrawCloud(p, rng, box.intersects(clearSky) ? box.translated(0, clearSky.bottom() - box.top()) : box,
                  QColor(196, 216, 236), cw * 0.015);
    }
    // Hills, hazier the further away.
    PaintSoft(p, w * 0.004, 1.0, [&](QPainter& q) {
        q.fillPath(Ridge(rng, w, horizon - h * 0.04, h * 0.03, h), QColor(150, 190, 170));
    });
    {
        const QPainterPath mid = Ridge(rng, w, horizon + h * 0.01, h * 0.025, h);
        QLinearGradient g(0, horizon - h * 0.02, 0, horizon + h * 0.1);
        g.setColorAt(0.0, QColor(128, 184, 100));
        g.setColorAt(1.0, QColor(96, 160, 70));
        p.fillPath(mid, g);
        // A row of small trees along the ridge: a trunk and a crown of three clumps.
        for (int i = 0; i < 9; ++i) {
            const double x = w * rng.uniform(0.02, 0.98);
            const double r = w * rng.uniform(0.01, 0.018);
            const QPointF foot(x, horizon + h * 0.012);
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(110, 80, 55));
            p.drawRect(QRectF(x - r * 0.12, foot.y() - r * 1.6, r * 0.24, r * 1.6));
            const QPointF clumps[] = {{-0.45, -1.7}, {0.45, -1.75}, {0.0, -2.3}};
            for (const QPointF& k : clumps) {
                const QPointF c = foot + k * r;
                QRadialGradient t(c - QPointF(r * 0.25, r * 0.3), r * 0.9);
                t.setColorAt(0.0, QColor(120, 170, 80));
                t.setColorAt(1.0, QColor(50, 100, 45));
                p.setBrush(t);
                p.drawEllipse(c, r * 0.7, r * 0.7);
            }
        }
    }
    const QPainterPath front = Ridge(rng, w, horizon + h * 0.07, h * 0.02, h, 2);
    QLinearGradient g(0, horizon + h * 0.05, 0, h);
    g.setColorAt(0.0, QColor(122, 186, 78));
    g.setColorAt(1.0, QColor(58, 128, 44));
    p.fillPath(front, g);
    // Grass and flowers in three rows, growing towards the front.
    DrawGrass(p, rng, QRectF(0, h * 0.665, w, h * 0.08), 900, QColor(104, 166, 70), QColor(130, 190, 84));
    Wildflowers(p, rng, QRectF(0, h * 0.69, w, h * 0.07), 60, w * 0.009);
    DrawGrass(p, rng, QRectF(0, h * 0.74, w, h * 0.12), 900, QColor(86, 154, 60), QColor(120, 184, 76));
    Wildflowers(p, rng, QRectF(0, h * 0.78, w, h * 0.1), 60, w * 0.015);
    DrawGrass(p, rng, QRectF(0, h * 0.86, w, h * 0.16), 800, QColor(70, 140, 50), QColor(104, 176, 66));
    Wildflowers(p, rng, QRectF(0, h * 0.92, w, h * 0.07), 30, w * 0.026);
    // A bright, misty panel for the message.
    PaintSoft(p, panel.height() * 0.05, 0.35, [&](QPainter& q) {
        q.setPen(Qt::NoPen);
        q.setBrush(QColor(30, 70, 20));
        q.drawRoundedRect(QRectF(panel).translated(0, panel.height() * 0.04), panel.height() * 0.25,
                          panel.height() * 0.25);
    });
    p.setPen(QPen(QColor(255, 255, 255, 230), panel.height() * 0.012));
    p.setBrush(QColor(255, 252, 238, 215));
    p.drawRoundedRect(QRectF(panel), panel.height() * 0.25, panel.height() * 0.25);
    p.setPen(QPen(QColor(150, 190, 110, 200), panel.height() * 0.008));
    p.setBrush(Qt::NoBrush);
    const double in = panel.height() * 0.06;
    p.drawRoundedRect(QRectF(panel).adjusted(in, in, -in, -in), panel.height() * 0.2, panel.height() * 0.2);
    return pic.finish();
}

QImage MeadowFramePicture(QSize size, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(104002);
    const double w = pic.w(), h = pic.h();
    FillVertical(p, QRectF(0, 0, w, h),
                 {{0.0, QColor(150, 200, 238)}, {0.55, QColor(214, 236, 222)}, {1.0, QColor(150, 196, 110)}});
    // Out of focus: a green haze and sunlit sparkles behind the flowers.
    PaintSoft(p, w * 0.03, 1.0, [&](QPainter& q) {
        q.fillPath(Ridge(rng, w, h * 0.6, h * 0.06, h), QColor(120, 180, 90));
        DrawBokeh(q, rng, QRectF(0, 0, w, h * 0.7), 25, QColor(255, 250, 220), w * 0.02, w * 0.06);
    });
    DrawGrass(p, rng, QRectF(0, h * 0.55, w, h * 0.45), 300, QColor(80, 150, 56), QColor(130, 194, 80));
    struct Flower {
        double x, y, r;
        int kind;
    };
    const Flower flowers[] = {{0.24, 0.42, 0.17, 0}, {0.55, 0.3, 0.2, 1}, {0.8, 0.5, 0.14, 0},
                              {0.4, 0.62, 0.1, 2},   {0.68, 0.7, 0.09, 2}, {0.1, 0.7, 0.08, 0}};
    for (const Flower& f : flowers) {
        const QPointF c(w * f.x, h * f.y);
        const double r = w * f.r * 0.6;
        Stem(p, QPointF(c.x() + r * 0.3, h * 1.02), QPointF(c.x() - r * 0.3, (c.y() + h) / 2), c, r * 0.09,
             QColor(70, 125, 45));
        DrawLeaf(p, QPointF(c.x() + r * 0.1, (c.y() + h) / 2 + r), 40, r * 1.2, r * 0.45, QColor(90, 150, 60));
        if (f.kind == 0) DrawDaisy(p, rng, c, r, QColor(255, 255, 252), QColor(250, 190, 30));
        if (f.kind == 1) DrawPoppy(p, rng, c, r, QColor(222, 45, 40));
        if (f.kind == 2) DrawFloret(p, c, r * 0.6, QColor(80, 120, 220));
    }
    return pic.finish();
}

// ---------------------------------------------------------------------------
// Flowers

namespace {

// A corner bouquet: leaves fanning out, roses and blossoms over them.
void Bouquet(QPainter& p, Rng& rng, QPointF corner, double reach, double direction, const Calm& calm)
{
    const QColor leaf(104, 150, 90), rose(231, 120, 145), peach(244, 160, 128), blossom(250, 205, 215),
        lavender(165, 150, 215), cream(252, 236, 214);
    const auto spot = [&](double minD, double maxD, double spread = 50) {
        const double a = direction + rng.uniform(-spread, spread);
        const double d = reach * rng.uniform(minD, maxD);
        return std::pair(corner + QPointF(std::sin(a * kPi / 180) * d, -std::cos(a * kPi / 180) * d), a);
    };
    for (int i = 0; i < 26; ++i) {
        const auto [at, a] = spot(0.2, 0.75, 65);
        const double turn = rng.uniform(-25, 25), length = reach * rng.uniform(0.18, 0.3),
                     width = reach * rng.uniform(0.08, 0.12), shade = rng.uniform(0, 0.6);
        if (!calm.clear(at, length)) continue;
        DrawLeaf(p, at, a + turn, length, width, Mix(leaf, QColor(60, 110, 70), shade));
    }
    // Sprigs of lavender florets reaching out between the leaves.
    for (int i = 0; i < 7; ++i) {
        const auto [at, a] = spot(0.5, 0.75, 60);
        if (!calm.clear(at, reach * 0.25)) continue;
        for (int k = 0; k < 5; ++k) {
            const double d = reach * 0.05 * k;
            DrawFloret(p, at + QPointF(std::sin(a * kPi / 180) * d, -std::cos(a * kPi / 180) * d),
                       reach * (0.035 - 0.004 * k), lavender);
        }
    }
    const auto flower = [&](QPointF at, double radius, const std::function<void()>& draw) {
        if (calm.clear(at, radius)) draw();
    };
    for (int i = 0; i < 6; ++i) {
        const QPointF at = spot(0.4, 0.7).first;
        const double r = reach * rng.uniform(0.07, 0.1);
        flower(at, r, [&] { DrawBlossom(p, rng, at, r, blossom); });
    }
    const QColor roses[] = {peach, rose, cream, rose.lighter(108), peach.lighter(105), rose.darker(108)};
    for (int i = 0; i < 6; ++i) {
        const QPointF at = spot(i < 3 ? 0.42 : 0.12, i < 3 ? 0.58 : 0.36, 45).first;
        const double r = reach * rng.uniform(0.12, 0.17);
        flower(at, r, [&] { DrawRose(p, rng, at, r, roses[i]); });
    }
    for (int i = 0; i < 4; ++i) {
        const QPointF at = spot(0.15, 0.45).first;
        const double r = reach * rng.uniform(0.06, 0.08);
        flower(at, r, [&] { DrawBlossom(p, rng, at, r, blossom); });
    }
}

}  // namespace

QImage FlowersPage(QSize size, const std::vector<QRect>& calmAreas, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(102001);
    const double w = pic.w(), h = pic.h();
    std::vector<QRectF> areas;
    for (const QRect& a : calmAreas) areas.push_back(QRectF(a).adjusted(-250, -150, 250, 150));
    const Calm calm(std::move(areas));
    QRadialGradient paper(QPointF(w * 0.5, h * 0.45), h * 0.75);
    paper.setColorAt(0.0, QColor(255, 252, 248));
    paper.setColorAt(1.0, QColor(252, 234, 230));
    p.fillRect(QRectF(0, 0, w, h), paper);
    // A fine rule around the page, then petals drifting across it.
    p.setPen(QPen(QColor(226, 170, 180), w * 0.002));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(w * 0.035, w * 0.035, w * 0.93, h - w * 0.07), w * 0.02, w * 0.02);
    for (int i = 0; i < 30; ++i) {
        const QPointF at(rng.uniform(0, w), rng.uniform(0, h));
        const double len = w * rng.uniform(0.012, 0.022), angle = rng.uniform(0, 360);
        if (!calm.clear(at, len)) continue;
        p.fillPath(PetalPath(at, angle, len, len * 0.8, 0.1),
                   WithAlpha(i % 2 ? QColor(240, 160, 180) : QColor(250, 200, 210), 0.55));
    }
    // A spray in the top corner, a bouquet in each bottom corner framing the message.
    Bouquet(p, rng, QPointF(-w * 0.04, -h * 0.025), w * 0.22, 135, calm);
    Bouquet(p, rng, QPointF(-w * 0.03, h * 1.02), w * 0.4, 45, calm);
    Bouquet(p, rng, QPointF(w * 1.03, h * 1.02), w * 0.44, -45, calm);
    return pic.finish();
}

QImage FlowersFramePicture(QSize size, int variant, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(102010 + std::uint64_t(variant));
    const double w = pic.w(), h = pic.h();
    const double s = std::min(w, h);
    if (variant == 0) {
        // Roses in a soft blush light.
        QRadialGradient g(QPointF(w * 0.5, h * 0.4), w * 0.75);
        g.setColorAt(0.0, QColor(255, 244, 240));
        g.setColorAt(1.0, QColor(240, 196, 200));
        p.fillRect(QRectF(0, 0, w, h), g);
        DrawBokeh(p, rng, QRectF(0, 0, w, h), 30, QColor(255, 255, 255), s * 0.02, s * 0.07);
        for (int i = 0; i < 14; ++i)
            DrawLeaf(p, QPointF(w * rng.uniform(0.15, 0.85), h * rng.uniform(0.45, 0.85)), rng.uniform(-120, 120),
                     s * rng.uniform(0.2, 0.3), s * 0.1, QColor(96, 146, 88));
        const QColor roses[] = {{231, 120, 145}, {244, 160, 128}, {214, 80, 110}, {248, 190, 200}};
        const QPointF spots[] = {{0.32, 0.55}, {0.55, 0.5}, {0.74, 0.6}, {0.44, 0.74}, {0.64, 0.78}, {0.22, 0.76}};
        int i = 0;
        for (const QPointF& at : spots)
            DrawRose(p, rng, QPointF(w * at.x(), h * at.y()), s * rng.uniform(0.15, 0.2), roses[i++ % 4]);
    } else if (variant == 1) {
        // A branch of blossom against a pale sky.
        FillVertical(p, QRectF(0, 0, w, h), {{0.0, QColor(200, 226, 246)}, {1.0, QColor(246, 240, 244)}});
        QPainterPath branch;
        branch.moveTo(-w * 0.05, h * 0.95);
        branch.cubicTo(w * 0.3, h * 0.7, w * 0.5, h * 0.5, w * 1.05, h * 0.35);
        p.setPen(QPen(QColor(110, 80, 70), s * 0.04, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(branch);
        for (int i = 0; i < 18; ++i) {
            const QPointF at = branch.pointAtPercent(rng.uniform(0.05, 0.98)) +
                               QPointF(rng.uniform(-0.08, 0.08) * w, rng.uniform(-0.12, 0.06) * h);
            DrawBlossom(p, rng, at, s * rng.uniform(0.06, 0.1), QColor(248, 190, 205));
        }
    } else {
        // Daisies in the grass.
        FillVertical(p, QRectF(0, 0, w, h), {{0.0, QColor(226, 240, 220)}, {1.0, QColor(150, 200, 120)}});
        DrawGrass(p, rng, QRectF(0, h * 0.3, w, h * 0.7), 260, QColor(90, 156, 70), QColor(140, 196, 96));
        for (int i = 0; i < 7; ++i)
            DrawDaisy(p, rng, QPointF(w * (0.08 + 0.14 * i), h * rng.uniform(0.45, 0.75)), s * rng.uniform(0.1, 0.15),
                      QColor(255, 255, 250), QColor(250, 190, 40));
    }
    return pic.finish();
}

// ---------------------------------------------------------------------------
// Yellow Flower

int YellowMeadowTop(QSize size, QRect textArea)
{
    // Inside the inner of the two rules, halfway between the edge and the text.
    const double inner = textArea.left() * 0.5 + size.width() * 0.012;
    return int(std::lround(size.height() - inner - size.height() * 0.1));
}

QImage YellowPage(QSize size, QRect textArea, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(106001);
    const double w = pic.w(), h = pic.h();
    QRadialGradient paper(QPointF(w * 0.5, h * 0.4), h * 0.7);
    paper.setColorAt(0.0, QColor(255, 253, 240));
    paper.setColorAt(1.0, QColor(255, 243, 205));
    p.fillRect(QRectF(0, 0, w, h), paper);
    // A double gold rule halfway between the page edge and the text.
    const double inset = textArea.left() * 0.5;
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(218, 170, 60), w * 0.0025));
    p.drawRoundedRect(QRectF(inset, inset, w - 2 * inset, h - 2 * inset), w * 0.02, w * 0.02);
    p.setPen(QPen(QColor(218, 170, 60), w * 0.0012));
    const double inner = inset + w * 0.012;
    p.drawRoundedRect(QRectF(inner, inner, w - 2 * inner, h - 2 * inner), w * 0.015, w * 0.015);
    // Little yellow flowers and leaves on each corner of the rule, and a
    // small one halfway along each side.
    const QPointF corners[] = {{inset, inset}, {w - inset, inset}, {inset, h - inset}, {w - inset, h - inset}};
    for (const QPointF& c : corners) {
        const double toward = std::atan2(h / 2 - c.y(), w / 2 - c.x()) * 180 / kPi + 90;
        for (int i = 0; i < 4; ++i)
            DrawLeaf(p, c, toward + 180 + (i - 1.5) * 42, w * 0.065, w * 0.028, QColor(120, 160, 70));
        for (int i = 0; i < 2; ++i) {
            const double a = (toward + (i ? 62 : -62)) * kPi / 180;
            DrawDaisy(p, rng, c + QPointF(std::sin(a), -std::cos(a)) * w * 0.06, w * 0.02, QColor(255, 225, 90),
                      QColor(210, 130, 30));
        }
        DrawDaisy(p, rng, c, w * 0.04, QColor(255, 206, 48), QColor(190, 100, 20));
    }
    // A strip of meadow inside the bottom rule: grass, buds and little flowers.
    const QRectF strip(inner + w * 0.02, YellowMeadowTop(size, textArea), w - 2 * inner - w * 0.04, h * 0.09);
    DrawGrass(p, rng, strip, 600, QColor(150, 180, 90), QColor(110, 164, 64));
    for (int i = 0; i < 14; ++i) {
        const QPointF at(strip.left() + strip.width() * (i + rng.uniform(0.1, 0.9)) / 14,
                         strip.top() + strip.height() * rng.uniform(0.15, 0.7));
        const double r = w * rng.uniform(0.014, 0.026);
        Stem(p, QPointF(at.x() + rng.uniform(-1, 1) * r, strip.bottom()), QPointF(at.x(), (at.y() + strip.bottom()) / 2),
             at, r * 0.12, QColor(100, 150, 60));
        DrawDaisy(p, rng, at, r, i % 3 ? QColor(255, 214, 60) : QColor(255, 236, 130), QColor(200, 110, 20));
    }
    const QPointF middles[] = {{w / 2, inset}, {w / 2, h - inset}, {inset, h / 2}, {w - inset, h / 2}};
    for (const QPointF& c : middles) {
        for (int i = 0; i < 2; ++i) {
            const bool across = c.y() == inset || c.y() == h - inset;
            DrawLeaf(p, c, (across ? 90 : 0) + (i ? 180 : 0) + 20, w * 0.04, w * 0.018, QColor(120, 160, 70));
        }
        DrawDaisy(p, rng, c, w * 0.022, QColor(255, 215, 70), QColor(200, 115, 25));
    }
    return pic.finish();
}

QImage YellowFlower(QSize size, double dpi)
{
    Picture pic(size, dpi);
    QPainter& p = pic.painter;
    Rng rng(106002);
    const double w = pic.w(), h = pic.h();
    const double r = std::min(w, h * 0.8) * 0.4;
    const QPointF head(w * 0.5, r * 1.08);
    const QColor stem(84, 136, 52), leaf(104, 160, 64);
    // Stem and leaves, a bud on a side shoot; then the head in front.
    Stem(p, QPointF(w * 0.52, h), QPointF(w * 0.44, h * 0.75), head + QPointF(0, r * 0.2), r * 0.07, stem);
    Stem(p, QPointF(w * 0.47, h * 0.8), QPointF(w * 0.68, h * 0.74), QPointF(w * 0.8, h * 0.6), r * 0.045, stem);
    DrawLeaf(p, QPointF(w * 0.47, h * 0.86), -62, r * 0.95, r * 0.42, leaf);
    DrawLeaf(p, QPointF(w * 0.5, h * 0.93), 58, r * 0.85, r * 0.38, leaf.darker(110));
    {
        const QPointF bud(w * 0.8, h * 0.6);
        for (int i = 0; i < 5; ++i) {
            const QPainterPath petal = PetalPath(bud, 20 + (i - 2) * 16, r * 0.28, r * 0.13);
            p.fillPath(petal, Mix(QColor(255, 200, 40), QColor(240, 150, 0), i / 4.0));
        }
        for (int i = 0; i < 3; ++i) DrawLeaf(p, bud + QPointF(0, r * 0.03), 20 + (i - 1) * 35, r * 0.16, r * 0.08, stem);
    }
    PaintSoft(p, r * 0.03, 0.18, [&](QPainter& q) {
        q.setPen(Qt::NoPen);
        q.setBrush(QColor(120, 70, 0));
        q.drawEllipse(head + QPointF(r * 0.03, r * 0.05), r * 0.9, r * 0.9);
    });
    DrawYellowFlower(p, rng, head, r);
    // The stem grows out of a tuft of grass, which meets the page's meadow strip.
    DrawGrass(p, rng, QRectF(w * 0.38, h * 0.955, w * 0.26, h * 0.05), 70, QColor(120, 166, 70), QColor(100, 156, 60));
    return pic.finish(false);
}

// ---------------------------------------------------------------------------
// The program's own pictures

QImage AppIcon(int pixels)
{
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    Smooth(p);
    p.scale(pixels / 256.0, pixels / 256.0);
    Rng rng(1);
    const QRectF card(52, 26, 152, 204);
    const QPointF middle = card.center();
    const auto turned = [&](QPainter& q, double angle) {
        q.translate(middle);
        q.rotate(angle);
        q.translate(-middle);
    };
    PaintSoft(p, 5, 0.45, [&](QPainter& q) {
        turned(q, -7);
        q.setPen(Qt::NoPen);
        q.setBrush(QColor(60, 40, 20));
        q.drawRoundedRect(card.translated(4, 7), 14, 14);
    });
    // A golden card behind, the white one in front.
    p.save();
    turned(p, 9);
    // Outlines at least a pixel wide, so the small icons keep their edges.
    const double outline = std::max(3.0, 256.0 / pixels);
    p.setPen(QPen(QColor(200, 130, 20), outline));
    p.setBrush(QColor(255, 196, 60));
    p.drawRoundedRect(card.adjusted(4, 4, -4, -4), 14, 14);
    p.restore();
    p.save();
    turned(p, -7);
    QLinearGradient face(card.topLeft(), card.bottomRight());
    face.setColorAt(0.0, QColor(255, 255, 255));
    face.setColorAt(1.0, QColor(255, 244, 222));
    p.setPen(QPen(QColor(196, 150, 90), outline));
    p.setBrush(face);
    p.drawRoundedRect(card, 14, 14);
    const QPointF flower(middle.x(), middle.y() - 18);
    p.setPen(QPen(QColor(86, 136, 52), 7, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(flower, flower + QPointF(0, 88));
    DrawLeaf(p, flower + QPointF(-2, 80), -62, 44, 24, QColor(96, 150, 60));
    DrawLeaf(p, flower + QPointF(2, 74), 58, 40, 22, QColor(80, 136, 52));
    DrawMarigold(p, rng, flower, 56);
    p.restore();
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage HandPointer()
{
    // Drawn pixel by pixel, as pointers are: X outline, - white, . clear.
    static const char* const kRows[] = {
        "......XXX............",
        ".....X---X...........",
        ".....X---X...........",
        ".....X---X...........",
        ".....X---X...........",
        ".....X---X...........",
        ".....X---XXXX........",
        ".....X---X---XXXX....",
        ".....X---X---X---X...",
        ".....X---X---X---XXX.",
        ".....X---X---X---X--X",
        ".XX..X---X---X---X--X",
        "X--X.X---X---X---X--X",
        "X---XX--------------X",
        ".X--X---------------X",
        ".X------------------X",
        "..X-----------------X",
        "..X----------------X.",
        "...X---------------X.",
        "...X--------------X..",
        "....X-------------X..",
        "....X------------X...",
        ".....X-----------X...",
        ".....X-----------X...",
        ".....XXXXXXXXXXXXX...",
    };
    // The hand's fingertip (row 0, column 7) is the hot spot.
    const QPoint offset(kHandHotSpot.x() - 7, kHandHotSpot.y());
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    const int rows = int(std::size(kRows));
    // A soft shadow down and to the right, under the hand.
    for (int y = 0; y < rows; ++y)
        for (int x = 0; kRows[y][x]; ++x)
            if (kRows[y][x] != '.') image.setPixel(offset.x() + x + 1, offset.y() + y + 1, qRgba(0, 0, 0, 70));
    for (int y = 0; y < rows; ++y)
        for (int x = 0; kRows[y][x]; ++x) {
            const char c = kRows[y][x];
            if (c == 'X') image.setPixel(offset.x() + x, offset.y() + y, qRgba(0, 0, 0, 255));
            if (c == '-') image.setPixel(offset.x() + x, offset.y() + y, qRgba(255, 255, 255, 255));
        }
    return image;
}

QImage SamplePhoto()
{
    const double w = 1600, h = 1200;
    QImage image(int(w), int(h), QImage::Format_RGB32);
    QPainter p(&image);
    Smooth(p);
    Rng rng(7);
    const double horizon = h * 0.5;
    FillVertical(p, QRectF(0, 0, w, horizon + 40),
                 {{0.0, QColor(52, 126, 206)}, {0.65, QColor(138, 194, 238)}, {1.0, QColor(214, 234, 246)}});
    const QPointF sun(w * 0.78, h * 0.16);
    Glow(p, sun, w * 0.5, QColor(255, 244, 210, 190));
    Glow(p, sun, w * 0.12, QColor(255, 252, 230, 255));
    p.setBrush(QColor(255, 255, 245));
    p.drawEllipse(sun, 38, 38);
    for (int i = 0; i < 6; ++i) {
        const double cw = w * rng.uniform(0.18, 0.3);
        DrawCloud(p, rng, QRectF(w * rng.uniform(-0.1, 0.9), h * rng.uniform(0.08, 0.32), cw, cw * 0.45),
                  QColor(176, 198, 226), cw * 0.012);
    }
    // Mountains: a far blue range with snow on its peaks, a nearer, darker one.
    const auto range = [&](Rng& r, double base, double low, double high, double roughness) {
        // Midpoint displacement: jagged at every scale.
        std::vector<double> y(129);
        y[0] = base - h * r.uniform(low, high);
        y[128] = base - h * r.uniform(low, high);
        for (int step = 64; step >= 1; step /= 2)
            for (int i = step; i < 128; i += 2 * step)
                y[size_t(i)] = (y[size_t(i - step)] + y[size_t(i + step)]) / 2 +
                               r.uniform(-1, 1) * h * roughness * step / 64.0;
        QPainterPath path;
        path.moveTo(-10, base + 20);
        for (int i = 0; i <= 128; ++i) path.lineTo(-10 + (w + 20) * i / 128.0, std::min(y[size_t(i)], base));
        path.lineTo(w + 10, base + 20);
        path.closeSubpath();
        return path;
    };
    {
        Rng ridge(8);
        const QPainterPath far = range(ridge, horizon, 0.06, 0.2, 0.34);
        QLinearGradient g(0, horizon - h * 0.3, 0, horizon);
        g.setColorAt(0.0, QColor(112, 138, 180));
        g.setColorAt(1.0, QColor(172, 198, 222));
        p.fillPath(far, g);
        // Snow along the ridge, where the range is high: the top band of
        // the range (it minus itself moved down) above a wavering snow line.
        const QPainterPath band = far.subtracted(far.translated(0, h * 0.06));
        const QPainterPath snow = band.intersected(Ridge(ridge, w, horizon - h * 0.14, h * 0.015, -h, 4));
        QLinearGradient white(0, horizon - h * 0.3, 0, horizon - h * 0.15);
        white.setColorAt(0.0, QColor(250, 252, 255));
        white.setColorAt(1.0, QColor(214, 226, 240));
        p.fillPath(snow, white);
        const QPainterPath near = range(ridge, horizon, 0.02, 0.1, 0.1);
        QLinearGradient n(0, horizon - h * 0.12, 0, horizon);
        n.setColorAt(0.0, QColor(96, 128, 120));
        n.setColorAt(1.0, QColor(140, 170, 160));
        p.fillPath(near, n);
    }
    PaintSoft(p, 16, 0.55, [&](QPainter& q) {
        q.fillRect(QRectF(0, horizon - 30, w, 40), QColor(226, 238, 246));
    });
    // A lake reflecting the sky, a meadow rolling down to it.
    FillVertical(p, QRectF(0, horizon, w, h - horizon),
                 {{0.0, QColor(176, 210, 234)}, {0.3, QColor(96, 154, 204)}, {1.0, QColor(70, 130, 190)}});
    p.setPen(QPen(QColor(255, 255, 255, 110), 2));
    for (int i = 0; i < 70; ++i) {
        const double y = horizon + rng.uniform(0.01, 0.14) * h;
        const double x = rng.uniform(0, w);
        p.drawLine(QPointF(x, y), QPointF(x + rng.uniform(10, 40), y));
    }
    const QPainterPath meadow = Ridge(rng, w, horizon + h * 0.14, h * 0.03, h, 2);
    QLinearGradient grass(0, horizon + h * 0.1, 0, h);
    grass.setColorAt(0.0, QColor(140, 196, 80));
    grass.setColorAt(1.0, QColor(60, 130, 40));
    p.fillPath(meadow, grass);
    // A tree on the left: a trunk and a crown of leafy clumps.
    {
        const QPointF base(w * 0.16, horizon + h * 0.26);
        QPainterPath trunk;
        trunk.moveTo(base + QPointF(-16, 0));
        trunk.cubicTo(base + QPointF(-10, -100), base + QPointF(-14, -180), base + QPointF(-6, -260));
        trunk.lineTo(base + QPointF(8, -260));
        trunk.cubicTo(base + QPointF(12, -180), base + QPointF(10, -100), base + QPointF(18, 0));
        p.fillPath(trunk, QColor(100, 70, 45));
        const QPointF crown = base + QPointF(0, -310);
        for (int i = 0; i < 40; ++i) {
            const double a = rng.uniform(0, 2 * kPi), d = rng.uniform(0, 1);
            const QPointF c = crown + QPointF(std::cos(a) * d * 150, std::sin(a) * d * 110);
            const double r = rng.uniform(40, 70);
            QRadialGradient g(c - QPointF(r * 0.3, r * 0.4), r * 1.2);
            const double light = (crown.y() + 110 - c.y()) / 220.0;
            g.setColorAt(0.0, Mix(QColor(70, 130, 50), QColor(150, 200, 90), light));
            g.setColorAt(1.0, QColor(40, 90, 35));
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(c, r, r);
        }
    }
    DrawGrass(p, rng, QRectF(0, h * 0.66, w, h * 0.12), 1400, QColor(110, 170, 70), QColor(130, 190, 80));
    Wildflowers(p, rng, QRectF(0, h * 0.7, w, h * 0.08), 50, 10);
    DrawGrass(p, rng, QRectF(0, h * 0.76, w, h * 0.14), 1400, QColor(90, 156, 60), QColor(120, 184, 72));
    Wildflowers(p, rng, QRectF(0, h * 0.8, w, h * 0.1), 40, 20);
    DrawGrass(p, rng, QRectF(0, h * 0.88, w, h * 0.16), 1200, QColor(70, 140, 50), QColor(106, 178, 66));
    Wildflowers(p, rng, QRectF(0, h * 0.93, w, h * 0.06), 16, 34);
    // The lens darkens the corners a little.
    QRadialGradient vignette(QPointF(w / 2, h / 2), w * 0.75);
    vignette.setColorAt(0.6, QColor(0, 0, 0, 0));
    vignette.setColorAt(1.0, QColor(0, 0, 0, 70));
    p.fillRect(QRectF(0, 0, w, h), vignette);
    p.end();
    return image;
}

}  // namespace marigal::designs
