#pragma once
// Drawing helpers the artwork is made of: a seeded random source that gives
// the same numbers on every machine, a soft blur, and the motifs (clouds,
// hearts, petals, leaves, grass) the card pictures share.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>

#include <cstdint>
#include <functional>

namespace marigal::designs {

// splitmix64: the standard library's distributions differ between
// implementations, so the artwork draws its own numbers.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    double uniform() { return double(next() >> 11) * (1.0 / 9007199254740992.0); }
    double uniform(double low, double high) { return low + (high - low) * uniform(); }
    int below(int n) { return int(uniform() * n); }

private:
    std::uint64_t state_;
};

// A transparent picture to paint into, in the format the blur works on.
QImage Layer(QSize size);
// Gaussian-like blur (three box passes) of a premultiplied picture, in place.
void Blur(QImage& image, double radius);
// Runs `draw` on a transparent layer the size of `painter`'s device, with
// the same transform, blurs it by `blur` (in the painter's units) and paints
// it over the device with `opacity`: glows, shadows, haze.
void PaintSoft(QPainter& painter, double blur, double opacity, const std::function<void(QPainter&)>& draw);

// A painter with anti-aliasing on.
void Smooth(QPainter& painter);

QColor Mix(const QColor& a, const QColor& b, double t);
QColor WithAlpha(QColor c, double alpha);

// A heart `size` wide, centred on `centre`, turned by `angle` degrees.
QPainterPath HeartPath(QPointF centre, double size, double angle = 0);
// A glossy heart: body gradient, rim and a soft highlight.
void DrawHeart(QPainter& painter, QPointF centre, double size, const QColor& colour, double angle = 0);

// A cumulus cloud inside `box`: rounded puffs on a flat base.
QPainterPath CloudPath(Rng& rng, const QRectF& box);
// Paints a soft cloud into `painter`; `shade` is the colour of its underside.
void DrawCloud(QPainter& painter, Rng& rng, const QRectF& box, const QColor& shade, double softness);

// A petal from `base` pointing along `angle` (degrees, 0 = up), rounded at
// the tip; `notch` cuts a small dip into the tip (daisies, gerberas).
QPainterPath PetalPath(QPointF base, double angle, double length, double width, double notch = 0);
// A leaf with a pointed tip and a midrib.
void DrawLeaf(QPainter& painter, QPointF base, double angle, double length, double width, const QColor& colour);

// Flowers, centred on `centre`, `radius` to the petal tips.
void DrawDaisy(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& petal,
               const QColor& heart);
void DrawPoppy(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& colour);
void DrawRose(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& colour);
void DrawBlossom(QPainter& painter, Rng& rng, QPointF centre, double radius, const QColor& colour);
// Small five-petalled filler flowers (forget-me-nots).
void DrawFloret(QPainter& painter, QPointF centre, double radius, const QColor& colour);
// A many-petalled yellow flower with a seeded centre (the sunflower's spiral).
void DrawYellowFlower(QPainter& painter, Rng& rng, QPointF centre, double radius);
// A ruffled marigold head.
void DrawMarigold(QPainter& painter, Rng& rng, QPointF centre, double radius);

// Grass blades along the bottom of `area`, darker at the back.
void DrawGrass(QPainter& painter, Rng& rng, const QRectF& area, int blades, const QColor& back,
               const QColor& front);

// Small round sparkles of light (bokeh) scattered over `area`.
void DrawBokeh(QPainter& painter, Rng& rng, const QRectF& area, int count, const QColor& colour, double minRadius,
               double maxRadius);

}  // namespace marigal::designs
