#include "tools/make_designs/paint.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace marigal::designs {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kGoldenAngle = 137.50776405;

QPointF Polar(QPointF centre, double radius, double degrees)
{
    const double a = degrees * kPi / 180.0;
    return centre + QPointF(std::sin(a) * radius, -std::cos(a) * radius);
}

// One box pass over `count` pixels `stride` apart, channel by channel.
void BoxLine(quint32* pixels, int count, int stride, int radius, std::vector<quint32>& scratch)
{
    scratch.resize(size_t(count));
    for (int i = 0; i < count; ++i) scratch[size_t(i)] = pixels[i * stride];
    const auto at = [&](int i) { return scratch[size_t(std::clamp(i, 0, count - 1))]; };
    const int window = 2 * radius + 1;
    int sum[4] = {0, 0, 0, 0};
    for (int i = -radius; i <= radius; ++i) {
        const quint32 p = at(i);
        for (int c = 0; c < 4; ++c) sum[c] += int((p >> (8 * c)) & 0xff);
    }
    for (int i = 0; i < count; ++i) {
        quint32 out = 0;
        for (int c = 0; c < 4; ++c) out |= quint32((sum[c] + window / 2) / window) << (8 * c);
        pixels[i * stride] = out;
        const quint32 leaving = at(i - radius), entering = at(i + radius + 1);
        for (int c = 0; c < 4; ++c)
            sum[c] += int((entering >> (8 * c)) & 0xff) - int((leaving >> (8 * c)) & 0xff);
    }
}

// Fills a petal with a gradient along its length: `base` colour at the
// flower's centre, `tip` colour at its end.
void FillPetal(QPainter& p, const QPainterPath& petal, QPointF from, QPointF to, const QColor& base,
               const QColor& middle, const QColor& tip)
{
    QLinearGradient g(from, to);
    g.setColorAt(0.0, base);
    g.setColorAt(0.45, middle);
    g.setColorAt(1.0, tip);
    p.fillPath(petal, g);
}

}  // namespace

QImage Layer(QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void Blur(QImage& image, double radius)
{
    if (radius < 0.5) return;
    if (image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Three box passes of this width approximate a Gaussian of sigma `radius`.
    const int box = std::max(1, int(std::lround((std::sqrt(4.0 * radius * radius + 1.0) - 1.0) / 2.0)));
    const int w = image.width(), h = image.height();
    const int stride = int(image.bytesPerLine() / 4);
    auto* bits = reinterpret_cast<quint32*>(image.bits());
    std::vector<quint32> scratch;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = 0; y < h; ++y) BoxLine(bits + y * stride, w, 1, box, scratch);
        for (int x = 0; x < w; ++x) BoxLine(bits + x, h, stride, box, scratch);
    }
}

namespace {

double Scale(const QPainter& painter)
{
    return std::sqrt(std::abs(painter.worldTransform().determinant()));
}

}  // namespace

void PaintSoft(QPainter& painter, double blur, double opacity, const std::function<void(QPainter&)>& draw)
{
    QImage layer = Layer(QSize(painter.device()->width(), painter.device()->height()));
    {
        QPainter p(&layer);
        Smooth(p);
        p.setWorldTransform(painter.worldTransform());
        draw(p);
    }
    Blur(layer, blur * Scale(painter));
    painter.save();
    painter.resetTransform();
    painter.setOpacity(opacity);
    painter.drawImage(QPoint(0, 0), layer);
    painter.restore();
}

void Smooth(QPainter& painter)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
}

QColor Mix(const QColor& a, const QColor& b, double t)
{
    const auto lerp = [t](double x, double y) { return x + (y - x) * t; };
    return QColor::fromRgbF(float(lerp(a.redF(), b.redF())), float(lerp(a.greenF(), b.greenF())),
                            float(lerp(a.blueF(), b.blueF())), float(lerp(a.alphaF(), b.alphaF())));
}

QColor WithAlpha(QColor c, double alpha)
{
    c.setAlphaF(float(std::clamp(alpha, 0.0, 1.0)));
    return c;
}

QPainterPath HeartPath(QPointF centre, double size, double angle)
{
    // Drawn in a box two units wide, its lobes' dip above the centre.
    QPainterPath p;
    p.moveTo(0, 0.92);
    p.cubicTo(-0.3, 0.62, -1.0, 0.22, -1.0, -0.3);
    p.cubicTo(-1.0, -0.78, -0.42, -1.02, 0.0, -0.56);
    p.cubicTo(0.42, -1.02, 1.0, -0.78, 1.0, -0.3);
    p.cubicTo(1.0, 0.22, 0.3, 0.62, 0, 0.92);
    p.closeSubpath();
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(angle);
    t.scale(size / 2, size / 2);
    return t.map(p);
}

void DrawHeart(QPainter& painter, QPointF centre, double size, const QColor& colour, double angle)
{
    painter.save();
    const QPainterPath heart = HeartPath(centre, size, angle);
    QRadialGradient body(centre + QPointF(-size * 0.18, -size * 0.22), size * 0.78,
                         centre + QPointF(-size * 0.22, -size * 0.26));
    body.setColorAt(0.0, colour.lighter(150));
    body.setColorAt(0.42, colour);
    body.setColorAt(1.0, colour.darker(160));
    painter.fillPath(heart, body);
    painter.setPen(QPen(WithAlpha(colour.darker(200), 0.35), size * 0.012));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(heart);

    // A shine on the left lobe and a glint on the right one.
    painter.setClipPath(heart);
    QTransform t;
    t.translate(centre.x(), centre.y());
    t.rotate(angle);
    t.translate(-size * 0.24, -size * 0.22);
    t.rotate(-35);
    QPainterPath shine;
    shine.addEllipse(QPointF(0, 0), size * 0.2, size * 0.1);
    QRadialGradient gloss(t.map(QPointF(0, 0)), size * 0.2);
    gloss.setColorAt(0.0, QColor(255, 255, 255, 190));
    gloss.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillPath(t.map(shine), gloss);
    QTransform g;
    g.translate(centre.x(), centre.y());
    g.rotate(angle);
    const QPointF glint = g.map(QPointF(size * 0.3, -size * 0.3));
    QRadialGradient spark(glint, size * 0.07);
    spark.setColorAt(0.0, QColor(255, 255, 255, 150));
    spark.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.fillRect(QRectF(glint - QPointF(size * 0.07, size * 0.07), QSizeF(size * 0.14, size * 0.14)), spark);
    painter.restore();
}

namespace {

struct Puff {
    QPointF centre;
    double radius;
};

std::vector<Puff> CloudPuffs(Rng& rng, const QRectF& box)
{
    std::vector<Puff> puffs;
    const double w = box.width(), h = box.height();
    const int n = 6 + rng.below(4);
    for (int i = 0; i < n; ++i) {
        const double t = (i + 0.5) / n + rng.uniform(-0.04, 0.04);
        const double bump = std::sin(kPi * t);
        const double r = h * (0.2 + 0.3 * bump) * rng.uniform(0.85, 1.15);
        puffs.push_back({QPointF(box.left() + w * (0.1 + 0.8 * t), box.bottom() - r * rng.uniform(0.55, 0.9)), r});
    }
    // Two or three tall puffs near the middle give the cumulus its crown.
    const int crowns = 2 + rng.below(2);
    for (int i = 0; i < crowns; ++i) {
        const double r = h * rng.uniform(0.36, 0.46);
        const double x = box.left() + w * rng.uniform(0.3, 0.7);
        puffs.push_back({QPointF(x, box.top() + r * rng.uniform(1.0, 1.15)), r});
    }
    return puffs;
}

}  // namespace

QPainterPath CloudPath(Rng& rng, const QRectF& box)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const Puff& p : CloudPuffs(rng, box)) path.addEllipse(p.centre, p.radius, p.radius);
    path.addRoundedRect(QRectF(box.left() + box.width() * 0.1, box.top() + box.height() * 0.55,
                               box.width() * 0.8, box.height() * 0.45),
                        box.height() * 0.2, box.height() * 0.2);
    QPainterPath flat;
    flat.addRect(QRectF(box.left() - box.width(), box.top() - box.height(), box.width() * 3, box.height() * 2));
    return path.intersected(flat);
}

void DrawCloud(QPainter& painter, Rng& rng, const QRectF& box, const QColor& shade, double softness)
{
    // Drawn on a layer just big enough for the cloud and its blur, in device
    // pixels, so that many clouds stay cheap.
    const QTransform world = painter.worldTransform();
    const double blur = softness * Scale(painter);
    const QRectF device = world.mapRect(box);
    const double margin = blur * 3 + 4;
    const QPoint origin(int(std::floor(device.left() - margin)), int(std::floor(device.top() - margin)));
    QImage layer = Layer(QSize(int(device.width() + 2 * margin) + 2, int(device.height() + 2 * margin) + 2));
    {
        QPainter p(&layer);
        Smooth(p);
        p.setWorldTransform(world * QTransform::fromTranslate(-origin.x(), -origin.y()));
        // The same numbers make the outline and the puffs' shading.
        const std::uint64_t seed = rng.next();
        Rng outline(seed), shading(seed);
        const QPainterPath cloud = CloudPath(outline, box);
        QLinearGradient base(0, box.top(), 0, box.bottom());
        base.setColorAt(0.0, QColor(255, 255, 255));
        base.setColorAt(0.5, Mix(QColor(255, 255, 255), shade, 0.25));
        base.setColorAt(1.0, shade);
        p.fillPath(cloud, base);
        p.setClipPath(cloud);
        // Each puff is lit from above: a white cap, its underside in the
        // shade; lower puffs lie in front of higher ones, as lobes of a
        // cumulus do.
        std::vector<Puff> puffs = CloudPuffs(shading, box);
        std::stable_sort(puffs.begin(), puffs.end(),
                         [](const Puff& a, const Puff& b) { return a.centre.y() < b.centre.y(); });
        const QColor white(255, 255, 255);
        for (const Puff& puff : puffs) {
            QRadialGradient g(puff.centre + QPointF(-puff.radius * 0.2, -puff.radius * 0.5), puff.radius * 1.4);
            g.setColorAt(0.0, white);
            g.setColorAt(0.45, Mix(white, shade, 0.1));
            g.setColorAt(0.8, Mix(white, shade, 0.7));
            g.setColorAt(1.0, shade.darker(104));
            p.setPen(Qt::NoPen);
            p.setBrush(g);
            p.drawEllipse(puff.centre, puff.radius, puff.radius);
        }
    }
    Blur(layer, blur);
    painter.save();
    painter.resetTransform();
    painter.drawImage(origin, layer);
    painter.restore();
}

QPainterPath PetalPath(QPointF base, double angle, double length, double width, double notch)
{
    const double l = length, w = width;
    QPainterPath p;
    p.moveTo(0, 0);
    p.cubicTo(w * 0.5, -l * 0.1, w * 0.62, -l * 0.68, w * 0.3, -l * 0.95);
    if (notch > 0) {
        p.quadTo(w * 0.15, -l * 1.02, 0, -l * (1 - notch));
        p.quadTo(-w * 0.15, -l * 1.02, -w * 0.3, -l * 0.95);
    } else {
        p.quadTo(0, -l * 1.06, -w * 0.3, -l * 0.95);
    }
    p.cubicTo(-w * 0.62, -l * 0.68, -w * 0.5, -l * 0.1, 0, 0);
    p.closeSubpath();
    QTransform t;
    t.translate(base.x(), base.y());
    t.rotate(angle);
    return t.map(p);
}

void DrawLeaf(QPainter& painter, QPointF base, double angle, double length, double width, const QColor& colour)
{
    painter.save();
    painter.translate(base);
    painter.rotate(angle);
    const double l = length, w = width;
    QPainterPath leaf;
    leaf.moveTo(0, 0);
    leaf.cubicTo(w * 0.7, -l * 0.18, w * 0.6, -l * 0.72, 0, -l);
    leaf.cubicTo(-w * 0.5, -l * 0.7, -w * 0.65, -l * 0.2, 0, 0);
    QLinearGradient g(-w * 0.5, 0, w * 0.5, 0);
    g.setColorAt(0.0, colour.darker(125));
    g.setColorAt(0.5, colour);
    g.setColorAt(1.0, colour.lighter(125));
    painter.fillPath(leaf, g);
    QPainterPath rib;
    rib.moveTo(0, -l * 0.02);
    rib.quadTo(w * 0.06, -l * 0.5, 0, -l * 0.9);
    painter.setPen(QPen(WithAlpha(colour.lighter(150), 0.7), std::max(0.6, w * 0.045), Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(rib);
    painter.restore();
}

void DrawDaisy(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& petal, const QColor& heart)
{
    painter.save();
    const int n = 18 + rng.below(6);
    const QColor shadowed = Mix(petal, QColor(150, 150, 170), 0.35);
    for (int ring = 0; ring < 2; ++ring) {
        const double offset = ring * 180.0 / n + rng.uniform(0, 360);
        for (int i = 0; i < n; ++i) {
            const double a = offset + i * 360.0 / n + rng.uniform(-4, 4);
            const double len = radius * rng.uniform(0.86, 1.0) * (ring == 0 ? 1.0 : 0.93);
            const QPainterPath path = PetalPath(centre, a, len, radius * 0.26, 0.06);
            const QColor body = ring == 0 ? Mix(petal, shadowed, 0.5) : petal;
            FillPetal(painter, path, centre, Polar(centre, len, a), shadowed, body, body);
        }
    }
    QRadialGradient disc(centre - QPointF(radius * 0.06, radius * 0.08), radius * 0.3);
    disc.setColorAt(0.0, heart.lighter(135));
    disc.setColorAt(0.6, heart);
    disc.setColorAt(1.0, heart.darker(135));
    painter.setPen(Qt::NoPen);
    painter.setBrush(disc);
    painter.drawEllipse(centre, radius * 0.27, radius * 0.27);
    // Florets of the disc, in the sunflower's spiral.
    painter.setBrush(WithAlpha(heart.darker(150), 0.55));
    const int dots = 40;
    for (int k = 1; k < dots; ++k) {
        const double r = radius * 0.25 * std::sqrt(k / double(dots));
        const QPointF d = Polar(centre, r, k * kGoldenAngle);
        painter.drawEllipse(d, radius * 0.018, radius * 0.018);
    }
    painter.restore();
}

void DrawPoppy(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& colour)
{
    painter.save();
    const double turn = rng.uniform(0, 90);
    for (int i = 0; i < 4; ++i) {
        const double a = turn + i * 90 + (i % 2) * 45 + rng.uniform(-8, 8);
        const bool back = i < 2;
        const QPainterPath petal = PetalPath(centre, a, radius * (back ? 1.0 : 0.9), radius * 1.45);
        QRadialGradient g(centre, radius);
        g.setColorAt(0.0, QColor(40, 10, 20));
        g.setColorAt(0.16, colour.darker(back ? 170 : 140));
        g.setColorAt(0.55, back ? colour.darker(112) : colour);
        g.setColorAt(1.0, colour.lighter(back ? 105 : 122));
        painter.fillPath(petal, g);
        painter.setPen(QPen(WithAlpha(colour.darker(180), 0.3), radius * 0.015));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(petal);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(35, 30, 35));
    for (int k = 0; k < 22; ++k) {
        const QPointF d = Polar(centre, radius * rng.uniform(0.12, 0.22), k * 360.0 / 22);
        painter.drawEllipse(d, radius * 0.025, radius * 0.025);
    }
    QRadialGradient knob(centre - QPointF(radius * 0.03, radius * 0.03), radius * 0.12);
    knob.setColorAt(0.0, QColor(120, 130, 80));
    knob.setColorAt(1.0, QColor(50, 60, 35));
    painter.setBrush(knob);
    painter.drawEllipse(centre, radius * 0.1, radius * 0.1);
    painter.restore();
}

void DrawRose(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& colour)
{
    painter.save();
    const double turn = rng.uniform(0, 72);
    // Outer petals lighter at their rims, the cup deeper towards the middle.
    const struct {
        double length, width, shift, shade;
    } rings[] = {{1.0, 1.25, 0, 100}, {0.8, 1.2, 36, 112}, {0.6, 1.15, 12, 125}};
    for (const auto& ring : rings) {
        for (int i = 0; i < 5; ++i) {
            const double a = turn + ring.shift + i * 72 + rng.uniform(-6, 6);
            const double len = radius * ring.length;
            const QPainterPath petal = PetalPath(centre, a, len, len * ring.width);
            QRadialGradient g(centre, len);
            g.setColorAt(0.0, colour.darker(int(ring.shade + 35)));
            g.setColorAt(0.6, colour.darker(int(ring.shade)));
            g.setColorAt(1.0, colour.lighter(118));
            painter.fillPath(petal, g);
            painter.setPen(QPen(WithAlpha(colour.darker(170), 0.35), radius * 0.02));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(petal);
        }
    }
    QRadialGradient cup(centre, radius * 0.42);
    cup.setColorAt(0.0, colour.darker(170));
    cup.setColorAt(0.7, colour.darker(120));
    cup.setColorAt(1.0, colour);
    painter.setPen(Qt::NoPen);
    painter.setBrush(cup);
    painter.drawEllipse(centre, radius * 0.38, radius * 0.36);
    // The bud's spiral: petal edges curling around the centre.
    for (int k = 0; k < 6; ++k) {
        const double r = radius * (0.07 + 0.05 * k);
        const double start = turn * 3 + k * 110;
        QRectF arc(centre - QPointF(r, r * 0.92), QSizeF(2 * r, 2 * r * 0.92));
        painter.setPen(QPen(colour.lighter(125 - k * 3), radius * 0.035, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(arc, int(start * 16), int(200 * 16));
        painter.setPen(QPen(WithAlpha(colour.darker(190), 0.5), radius * 0.018, Qt::SolidLine, Qt::RoundCap));
        painter.drawArc(arc.adjusted(r * 0.1, r * 0.1, r * 0.1, r * 0.1), int(start * 16), int(180 * 16));
    }
    painter.restore();
}

void DrawBlossom(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& colour)
{
    painter.save();
    const double turn = rng.uniform(0, 72);
    for (int i = 0; i < 5; ++i) {
        const double a = turn + i * 72 + rng.uniform(-5, 5);
        const QPainterPath petal = PetalPath(centre, a, radius, radius * 1.0, 0.08);
        QRadialGradient g(centre, radius);
        g.setColorAt(0.0, colour.darker(125));
        g.setColorAt(0.45, colour);
        g.setColorAt(1.0, Mix(colour, Qt::white, 0.55));
        painter.fillPath(petal, g);
        painter.setPen(QPen(WithAlpha(colour.darker(150), 0.3), radius * 0.02));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(petal);
    }
    // Stamens.
    for (int k = 0; k < 9; ++k) {
        const double a = turn + k * 40 + rng.uniform(-8, 8);
        const QPointF tip = Polar(centre, radius * rng.uniform(0.28, 0.38), a);
        painter.setPen(QPen(QColor(240, 225, 170), radius * 0.025, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(centre, tip);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(230, 170, 40));
        painter.drawEllipse(tip, radius * 0.045, radius * 0.045);
    }
    painter.setBrush(QColor(215, 200, 90));
    painter.drawEllipse(centre, radius * 0.09, radius * 0.09);
    painter.restore();
}

void DrawFloret(QPainter& painter, QPointF centre, double radius, const QColor& colour)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const QPointF c = Polar(centre, radius * 0.5, i * 72);
        QRadialGradient g(c, radius * 0.5);
        g.setColorAt(0.0, colour.lighter(120));
        g.setColorAt(1.0, colour);
        painter.setBrush(g);
        painter.drawEllipse(c, radius * 0.48, radius * 0.48);
    }
    painter.setBrush(QColor(255, 236, 140));
    painter.drawEllipse(centre, radius * 0.22, radius * 0.22);
    painter.restore();
}

void DrawYellowFlower(QPainter& painter, Rng& rng, QPointF centre, double radius)
{
    painter.save();
    const QColor deep(232, 140, 0), gold(255, 196, 30), lemon(255, 236, 130);
    // Back petals first: longer, deeper in colour, lit less.
    const struct {
        int count;
        double length, width, shade;
    } rings[] = {{26, 1.0, 0.2, 0.35}, {22, 0.9, 0.22, 0.15}, {18, 0.74, 0.21, 0.0}};
    double turn = rng.uniform(0, 20);
    for (const auto& ring : rings) {
        for (int i = 0; i < ring.count; ++i) {
            const double a = turn + i * 360.0 / ring.count + rng.uniform(-3, 3);
            const double len = radius * ring.length * rng.uniform(0.93, 1.03);
            const QPointF base = Polar(centre, radius * 0.12, a);
            const QPainterPath petal = PetalPath(base, a, len - radius * 0.12, radius * ring.width, 0.04);
            const QColor tip = Mix(lemon, deep, ring.shade * 0.5);
            FillPetal(painter, petal, base, Polar(centre, len, a), Mix(deep, QColor(150, 70, 0), ring.shade),
                      Mix(gold, deep, ring.shade), tip);
            painter.setPen(QPen(WithAlpha(QColor(170, 95, 0), 0.25), radius * 0.006));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(petal);
            // A crease down the petal's middle.
            painter.setPen(QPen(WithAlpha(QColor(200, 120, 0), 0.3), radius * 0.007, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(Polar(centre, radius * 0.3, a), Polar(centre, len * 0.85, a));
        }
        turn += 180.0 / ring.count + 3;
    }
    // The seed head: a dark disc with florets in the golden-angle spiral.
    const double disc = radius * 0.3;
    QRadialGradient shadow(centre, disc * 1.35);
    shadow.setColorAt(0.7, QColor(90, 40, 0, 120));
    shadow.setColorAt(1.0, QColor(90, 40, 0, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(centre, disc * 1.35, disc * 1.35);
    QRadialGradient head(centre - QPointF(disc * 0.2, disc * 0.25), disc);
    head.setColorAt(0.0, QColor(110, 70, 20));
    head.setColorAt(0.7, QColor(70, 38, 12));
    head.setColorAt(1.0, QColor(45, 22, 8));
    painter.setBrush(head);
    painter.drawEllipse(centre, disc, disc);
    const int seeds = 420;
    for (int k = 1; k < seeds; ++k) {
        const double t = std::sqrt(k / double(seeds));
        const QPointF d = Polar(centre, disc * 0.95 * t, k * kGoldenAngle);
        const QColor c = Mix(QColor(150, 140, 40), QColor(120, 60, 15), t);
        painter.setBrush(c);
        const double s = disc * (0.022 + 0.018 * t);
        painter.drawEllipse(d, s, s);
        if (t > 0.8 && k % 3 == 0) {
            painter.setBrush(QColor(255, 205, 60, 200));  // pollen on the outer florets
            painter.drawEllipse(d + QPointF(s * 0.3, -s * 0.3), s * 0.5, s * 0.5);
        }
    }
    QRadialGradient gloss(centre - QPointF(disc * 0.35, disc * 0.4), disc * 0.6);
    gloss.setColorAt(0.0, QColor(255, 230, 170, 70));
    gloss.setColorAt(1.0, QColor(255, 230, 170, 0));
    painter.setBrush(gloss);
    painter.drawEllipse(centre, disc, disc);
    painter.restore();
}

void DrawMarigold(QPainter& painter, Rng& rng, QPointF centre, double radius)
{
    painter.save();
    const QColor outer(236, 110, 10), inner(255, 190, 30);
    const int rings = 5;
    for (int ring = 0; ring < rings; ++ring) {
        const double t = ring / double(rings - 1);
        const double reach = radius * (1.0 - 0.72 * t);
        const int n = 13 - ring;
        const double turn = rng.uniform(0, 360);
        const QColor c = Mix(outer, inner, t);
        for (int i = 0; i < n; ++i) {
            const double a = turn + i * 360.0 / n;
            const QPointF base = Polar(centre, reach * 0.25, a);
            const QPainterPath petal = PetalPath(base, a, reach * 0.78, reach * 0.62, 0.1);
            QRadialGradient g(centre, reach);
            g.setColorAt(0.0, c.darker(135));
            g.setColorAt(0.7, c);
            g.setColorAt(1.0, c.lighter(118));
            painter.fillPath(petal, g);
            painter.setPen(QPen(WithAlpha(c.darker(160), 0.45), std::max(0.5, radius * 0.018)));
            painter.setBrush(Qt::NoBrush);
            painter.drawPath(petal);
        }
    }
    QRadialGradient heart(centre, radius * 0.2);
    heart.setColorAt(0.0, QColor(200, 110, 10));
    heart.setColorAt(1.0, QColor(255, 180, 30, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(heart);
    painter.drawEllipse(centre, radius * 0.2, radius * 0.2);
    painter.restore();
}

void DrawGrass(QPainter& painter, Rng& rng, const QRectF& area, int blades, const QColor& back, const QColor& front)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < blades; ++i) {
        // Rooted at staggered depths, the back rows first, so no row ends in a line.
        const double depth = i / double(blades);
        const double x = area.left() + rng.uniform(-0.02, 1.02) * area.width();
        const double base = area.top() + area.height() * (0.45 + 0.57 * depth + rng.uniform(-0.04, 0.04));
        const double h = area.height() * rng.uniform(0.3, 0.7) * (0.55 + 0.45 * depth);
        const double lean = rng.uniform(-0.35, 0.35) * h;
        const double w = area.height() * rng.uniform(0.012, 0.03);
        QPainterPath blade;
        blade.moveTo(x - w / 2, base);
        blade.quadTo(x - w * 0.2 + lean * 0.15, base - h * 0.55, x + lean, base - h);
        blade.quadTo(x + w * 0.2 + lean * 0.15, base - h * 0.55, x + w / 2, base);
        blade.closeSubpath();
        const QColor c = Mix(back, front, depth).lighter(int(rng.uniform(90, 118)));
        QLinearGradient g(0, base, 0, base - h);
        g.setColorAt(0.0, c.darker(125));
        g.setColorAt(1.0, c.lighter(112));
        painter.fillPath(blade, g);
    }
    painter.restore();
}

void DrawBokeh(QPainter& painter, Rng& rng, const QRectF& area, int count, const QColor& colour, double minRadius,
               double maxRadius)
{
    painter.save();
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < count; ++i) {
        const QPointF c(area.left() + rng.uniform() * area.width(), area.top() + rng.uniform() * area.height());
        const double r = rng.uniform(minRadius, maxRadius);
        const double strength = rng.uniform(0.25, 0.6);
        QRadialGradient g(c, r);
        g.setColorAt(0.0, WithAlpha(colour, strength * 0.6));
        g.setColorAt(0.8, WithAlpha(colour, strength * 0.45));
        g.setColorAt(0.93, WithAlpha(colour, strength * 0.75));
        g.setColorAt(1.0, WithAlpha(colour, 0));
        painter.setBrush(g);
        painter.drawEllipse(c, r, r);
    }
    painter.restore();
}

}  // namespace marigal::designs
