#include "tools/support/sample_photos.h"

#include "tools/make_designs/paint.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointF>
#include <QRadialGradient>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

using marigal::designs::Rng;

QColor Rgba(int r, int g, int b, int a = 255) { return QColor(r, g, b, a); }

// A soft elliptical spot centred on `c`: `colour` in the middle (out to
// `core` of the radius), fading to nothing at the rim; turned by `angle`
// degrees.
void Spot(QPainter& p, QPointF c, double rx, double ry, const QColor& colour, double core = 0.0, double angle = 0)
{
    if (rx <= 0 || ry <= 0) return;
    p.save();
    p.translate(c);
    p.rotate(angle);
    p.scale(1.0, ry / rx);
    QRadialGradient g(QPointF(0, 0), rx);
    QColor clear = colour;
    clear.setAlpha(0);
    g.setColorAt(0.0, colour);
    if (core > 0) g.setColorAt(core, colour);
    g.setColorAt(1.0, clear);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QPointF(0, 0), rx, rx);
    p.restore();
}

// The inverse of Spot: clear in the middle up to `inner` of the radius,
// `colour` at the rim. Darkens the edges of a rounded form.
void Rim(QPainter& p, QPointF c, double rx, double ry, const QColor& colour, double inner)
{
    p.save();
    p.translate(c);
    p.scale(1.0, ry / rx);
    QRadialGradient g(QPointF(0, 0), rx);
    QColor clear = colour;
    clear.setAlpha(0);
    g.setColorAt(0.0, clear);
    g.setColorAt(inner, clear);
    g.setColorAt(1.0, colour);
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(QPointF(0, 0), rx * 1.5, rx * 1.5);
    p.restore();
}

// The park behind the person, out of focus as behind a portrait: sky,
// a row of trees, a lawn, a path and light through the leaves.
void Park(QPainter& p, double w, double h)
{
    Rng rng(20240611);
    const double s = std::max(w, h);
    QLinearGradient sky(0, 0, 0, h * 0.55);
    sky.setColorAt(0.0, Rgba(112, 160, 214));
    sky.setColorAt(1.0, Rgba(196, 218, 236));
    p.fillRect(QRectF(0, 0, w, h * 0.6), sky);
    // Trees: overlapping soft crowns, darker and larger at the back.
    for (int i = 0; i < 70; ++i) {
        const double x = rng.uniform(-0.1, 1.1) * w;
        const double y = h * rng.uniform(0.22, 0.55);
        const double r = s * rng.uniform(0.05, 0.13);
        const double shade = rng.uniform();
        const QColor c = Rgba(int(40 + 50 * shade), int(78 + 60 * shade), int(38 + 30 * shade), 230);
        Spot(p, QPointF(x, y), r, r * rng.uniform(0.8, 1.1), c, 0.55);
    }
    // The lawn, its far edge blurred into the trees.
    QLinearGradient lawn(0, h * 0.5, 0, h);
    lawn.setColorAt(0.0, Rgba(118, 160, 84, 0));
    lawn.setColorAt(0.14, Rgba(118, 160, 84, 255));
    lawn.setColorAt(1.0, Rgba(72, 118, 52));
    p.fillRect(QRectF(0, h * 0.5, w, h * 0.5), lawn);
    // Far-off people and benches: a few soft, muted blobs on the lawn.
    for (int i = 0; i < 5; ++i) {
        const double x = rng.uniform(0.05, 0.95) * w, y = h * rng.uniform(0.58, 0.64);
        const double r = s * rng.uniform(0.012, 0.025);
        Spot(p, QPointF(x, y), r * 0.7, r * 1.6, Rgba(int(rng.uniform(90, 200)), int(rng.uniform(80, 150)),
                                                       int(rng.uniform(70, 160)), 150), 0.4);
    }
    // Sunlight through the leaves: out-of-focus discs.
    for (int i = 0; i < 40; ++i) {
        const double x = rng.uniform(0, w), y = h * rng.uniform(0.15, 0.55);
        const double r = s * rng.uniform(0.008, 0.025);
        Spot(p, QPointF(x, y), r, r, Rgba(250, 248, 220, int(rng.uniform(50, 120))), 0.75);
    }
}

// The rest of the person below the head, standing on the lawn: neck,
// a sweater with the arms hanging at the sides, hands, jeans, shoes. A
// close-up shows only the neck and shoulders.
void Body(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + u * W, t + v * H); };
    // The shadow on the grass, the shoes and the legs.
    Spot(p, at(0.1, 8.5), 1.6 * W, 0.25 * H, Rgba(30, 50, 20, 120), 0.3);
    for (int side : {-1, 1}) {
        QPainterPath leg;
        leg.moveTo(at(side * 0.05, 4.6));
        leg.lineTo(at(side * 1.1, 4.6));
        leg.cubicTo(at(side * 1.05, 6.0), at(side * 0.85, 7.2), at(side * 0.8, 8.25));
        leg.lineTo(at(side * 0.3, 8.25));
        leg.cubicTo(at(side * 0.3, 7.2), at(side * 0.2, 6.0), at(side * 0.05, 5.2));
        leg.closeSubpath();
        QLinearGradient jeans(at(-1.1, 0), at(1.1, 0));
        jeans.setColorAt(0.0, Rgba(74, 92, 124));
        jeans.setColorAt(1.0, Rgba(40, 52, 76));
        p.fillPath(leg, jeans);
        p.setPen(Qt::NoPen);
        p.setBrush(Rgba(52, 36, 28));
        p.drawEllipse(QRectF(at(side * 0.55 - 0.33, 8.15), at(side * 0.55 + 0.33, 8.45)).normalized());
        // Hands below the sleeves.
        p.setBrush(side < 0 ? Rgba(212, 158, 126) : Rgba(180, 126, 98));
        p.drawEllipse(at(side * 1.45, 4.85), 0.2 * W, 0.3 * H);
    }
    // Neck, in the shade of the head.
    const double neckTop = 0.7, neckBase = 1.22, shoulder = 1.38;
    QPainterPath neck;
    neck.moveTo(at(-0.3, neckTop));
    neck.cubicTo(at(-0.29, neckTop + 0.3), at(-0.32, neckBase), at(-0.44, neckBase + 0.1));
    neck.lineTo(at(0.44, neckBase + 0.1));
    neck.cubicTo(at(0.32, neckBase), at(0.29, neckTop + 0.3), at(0.3, neckTop));
    neck.closeSubpath();
    QLinearGradient ng(at(-0.3, 0), at(0.3, 0));
    ng.setColorAt(0.0, Rgba(200, 148, 116));
    ng.setColorAt(0.5, Rgba(214, 162, 130));
    ng.setColorAt(1.0, Rgba(168, 116, 90));
    p.fillPath(neck, ng);
    // The sweater: sloping shoulders, arms hanging beside the body, a hem
    // at the hips, a round neckline.
    QPainterPath body;
    body.moveTo(at(-0.36, neckBase));
    body.cubicTo(at(-0.75, neckBase + 0.03), at(-1.22, neckBase + 0.07), at(-1.4, shoulder + 0.12));
    body.cubicTo(at(-1.55, shoulder + 0.4), at(-1.6, 3.0), at(-1.66, 4.62));
    body.lineTo(at(-1.24, 4.66));
    body.lineTo(at(-1.2, 4.72));
    body.cubicTo(at(-0.6, 4.8), at(0.6, 4.8), at(1.2, 4.72));
    body.lineTo(at(1.24, 4.66));
    body.lineTo(at(1.66, 4.62));
    body.cubicTo(at(1.6, 3.0), at(1.55, shoulder + 0.4), at(1.4, shoulder + 0.12));
    body.cubicTo(at(1.22, neckBase + 0.07), at(0.75, neckBase + 0.03), at(0.36, neckBase));
    body.cubicTo(at(0.2, neckBase + 0.16), at(-0.2, neckBase + 0.16), at(-0.36, neckBase));
    body.closeSubpath();
    QLinearGradient bg(at(-1.8, shoulder - 0.2), at(1.8, shoulder + 1.2));
    bg.setColorAt(0.0, Rgba(70, 112, 168));
    bg.setColorAt(0.55, Rgba(46, 82, 134));
    bg.setColorAt(1.0, Rgba(28, 52, 92));
    p.fillPath(body, bg);
    // The ribbed collar.
    QPainterPath collar;
    collar.moveTo(at(-0.36, neckBase));
    collar.cubicTo(at(-0.2, neckBase + 0.16), at(0.2, neckBase + 0.16), at(0.36, neckBase));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgba(36, 64, 108), 0.07 * W, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(collar);
    // Where the arms meet the body.
    p.setPen(QPen(Rgba(20, 38, 70, 110), 0.03 * W, Qt::SolidLine, Qt::RoundCap));
    for (int side : {-1, 1}) {
        QPainterPath seam;
        seam.moveTo(at(side * 1.12, shoulder + 0.35));
        seam.cubicTo(at(side * 1.15, 2.6), at(side * 1.18, 3.6), at(side * 1.22, 4.62));
        p.drawPath(seam);
    }
    // The chin's shadow on the neck.
    p.save();
    p.setClipPath(neck);
    Spot(p, at(0.03, neckTop + 0.12), 0.4 * W, 0.22 * H, Rgba(110, 66, 48, 190), 0.3);
    p.restore();
}

// The face's outline: a rounded forehead, cheekbones, a tapering jaw.
QPainterPath FaceOutline(const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + u * W, t + v * H); };
    QPainterPath face;
    face.moveTo(at(0, 0));
    face.cubicTo(at(0.3, 0), at(0.5, 0.12), at(0.5, 0.4));
    face.cubicTo(at(0.5, 0.62), at(0.43, 0.79), at(0.26, 0.92));
    face.cubicTo(at(0.15, 0.995), at(0.06, 1.0), at(0, 1.0));
    face.cubicTo(at(-0.06, 1.0), at(-0.15, 0.995), at(-0.26, 0.92));
    face.cubicTo(at(-0.43, 0.79), at(-0.5, 0.62), at(-0.5, 0.4));
    face.cubicTo(at(-0.5, 0.12), at(-0.3, 0), at(0, 0));
    face.closeSubpath();
    return face;
}

// The hair behind the head, down to the jaw.
void BackHair(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + u * W, t + v * H); };
    QPainterPath hair;
    hair.moveTo(at(-0.5, 0.78));
    hair.cubicTo(at(-0.66, 0.6), at(-0.7, 0.1), at(-0.45, -0.14));
    hair.cubicTo(at(-0.2, -0.3), at(0.25, -0.3), at(0.48, -0.12));
    hair.cubicTo(at(0.72, 0.1), at(0.68, 0.6), at(0.52, 0.78));
    hair.closeSubpath();
    QRadialGradient g(at(-0.15, -0.1), 0.9 * W);
    g.setColorAt(0.0, Rgba(104, 72, 48));
    g.setColorAt(0.6, Rgba(70, 46, 32));
    g.setColorAt(1.0, Rgba(40, 26, 18));
    p.fillPath(hair, g);
}

void Ears(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    for (int side : {-1, 1}) {
        const QPointF c(cx + side * 0.49 * W, t + 0.5 * H);
        p.setPen(Qt::NoPen);
        p.setBrush(side < 0 ? Rgba(214, 160, 128) : Rgba(186, 130, 102));
        p.drawEllipse(c, 0.075 * W, 0.13 * H);
        Spot(p, c + QPointF(side * 0.01 * W, 0), 0.04 * W, 0.08 * H, Rgba(150, 90, 70, 150), 0.2);
    }
}

// The light and shade on the face, the light coming from the upper left.
void Shading(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + u * W, t + v * H); };
    const double eyeV = 0.45;
    // The rounded form: darker towards the outline, more on the right.
    Rim(p, at(-0.04, 0.46), 0.5 * W, 0.55 * H, Rgba(164, 106, 78, 190), 0.55);
    Spot(p, at(0.48, 0.55), 0.22 * W, 0.5 * H, Rgba(146, 94, 70, 110), 0.2);
    // Lit forehead, cheeks and chin.
    Spot(p, at(-0.06, 0.2), 0.32 * W, 0.13 * H, Rgba(255, 232, 212, 120), 0.2);
    Spot(p, at(-0.24, 0.6), 0.16 * W, 0.1 * H, Rgba(252, 222, 200, 100), 0.2);
    Spot(p, at(0.24, 0.6), 0.15 * W, 0.1 * H, Rgba(240, 206, 186, 70), 0.2);
    Spot(p, at(-0.26, 0.64), 0.11 * W, 0.06 * H, Rgba(230, 136, 124, 45), 0.1);
    Spot(p, at(0.26, 0.64), 0.11 * W, 0.06 * H, Rgba(230, 136, 124, 45), 0.1);
    Spot(p, at(-0.02, 0.91), 0.14 * W, 0.05 * H, Rgba(250, 222, 202, 110), 0.2);
    // Eye sockets, deepest beside the bridge of the nose.
    for (int side : {-1, 1}) {
        Spot(p, at(side * 0.21, eyeV - 0.015), 0.17 * W, 0.085 * H, Rgba(128, 78, 58, side < 0 ? 120 : 140), 0.3);
        Spot(p, at(side * 0.115, eyeV - 0.005), 0.055 * W, 0.05 * H, Rgba(118, 70, 52, 110), 0.2);
    }
    // The nose: a lit bridge and tip, shade along its right side and beneath.
    Spot(p, at(-0.012, 0.53), 0.04 * W, 0.12 * H, Rgba(255, 232, 214, 120), 0.3);
    Spot(p, at(0.065, 0.56), 0.045 * W, 0.11 * H, Rgba(134, 82, 60, 120), 0.2);
    Spot(p, at(-0.065, 0.56), 0.04 * W, 0.1 * H, Rgba(150, 96, 72, 60), 0.2);
    Spot(p, at(0, 0.625), 0.06 * W, 0.035 * H, Rgba(255, 236, 222, 110), 0.2);
    Spot(p, at(0.01, 0.69), 0.11 * W, 0.022 * H, Rgba(120, 70, 54, 120), 0.3);
    // The folds from the nose to the corners of the mouth.
    p.setBrush(Qt::NoBrush);
    for (int side : {-1, 1}) {
        QPainterPath fold;
        fold.moveTo(at(side * 0.1, 0.635));
        fold.cubicTo(at(side * 0.15, 0.68), at(side * 0.2, 0.74), at(side * 0.215, 0.81));
        p.setPen(QPen(Rgba(150, 92, 70, side < 0 ? 14 : 24), 0.03 * W, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(fold);
    }
    // Below the lower lip, and the jaw's edge.
    Spot(p, at(0, 0.845), 0.12 * W, 0.02 * H, Rgba(140, 88, 66, 70), 0.2);
}

void Nose(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + u * W, t + v * H); };
    // Nostrils and the wings around them.
    for (int side : {-1, 1}) {
        p.save();
        p.translate(at(side * 0.045, 0.668));
        p.rotate(side * -18);
        p.setPen(Qt::NoPen);
        p.setBrush(Rgba(86, 44, 36, 210));
        p.drawEllipse(QPointF(0, 0), 0.024 * W, 0.011 * H);
        p.restore();
        QPainterPath wing;
        wing.moveTo(at(side * 0.055, 0.6));
        wing.cubicTo(at(side * 0.1, 0.615), at(side * 0.105, 0.665), at(side * 0.07, 0.675));
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Rgba(140, 84, 64, 90), 0.014 * W, Qt::SolidLine, Qt::RoundCap));
        p.drawPath(wing);
    }
}

void Eye(QPainter& p, const QRectF& f, int side)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const QPointF c(cx + side * 0.21 * W, t + 0.45 * H);
    const double ew = 0.2 * W;
    const QPointF inner = c + QPointF(-side * ew / 2, 0.006 * W);
    const QPointF outer = c + QPointF(side * ew / 2, -0.004 * W);
    // The opening: a higher arch above, a flatter curve below.
    QPainterPath upper;
    upper.moveTo(inner);
    upper.cubicTo(inner + QPointF(side * 0.04 * W, -0.06 * W), outer + QPointF(-side * 0.07 * W, -0.055 * W), outer);
    QPainterPath opening = upper;
    opening.cubicTo(outer + QPointF(-side * 0.05 * W, 0.045 * W), inner + QPointF(side * 0.05 * W, 0.04 * W), inner);
    opening.closeSubpath();
    // Eyelid crease.
    QPainterPath crease;
    crease.moveTo(inner + QPointF(side * 0.02 * W, -0.02 * W));
    crease.cubicTo(inner + QPointF(side * 0.06 * W, -0.085 * W), outer + QPointF(-side * 0.06 * W, -0.08 * W),
                   outer + QPointF(side * 0.005 * W, -0.02 * W));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgba(120, 72, 56, 150), 0.008 * W, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(crease);
    // White, shaded at the corners and under the lid.
    p.save();
    p.setClipPath(opening);
    p.fillPath(opening, Rgba(232, 226, 220));
    Spot(p, inner, 0.06 * W, 0.05 * W, Rgba(190, 140, 130, 200), 0.2);
    Spot(p, outer, 0.06 * W, 0.05 * W, Rgba(170, 150, 146, 200), 0.2);
    // Iris and pupil, the top hidden by the lid.
    const QPointF irisC = c + QPointF(0, -0.004 * W);
    const double ir = 0.046 * W;
    QRadialGradient iris(irisC, ir);
    iris.setColorAt(0.0, Rgba(40, 26, 18));
    iris.setColorAt(0.45, Rgba(118, 80, 46));
    iris.setColorAt(0.85, Rgba(84, 56, 34));
    iris.setColorAt(1.0, Rgba(34, 22, 16));
    p.setPen(Qt::NoPen);
    p.setBrush(iris);
    p.drawEllipse(irisC, ir, ir);
    p.setBrush(Rgba(14, 10, 8));
    p.drawEllipse(irisC, 0.018 * W, 0.018 * W);
    Spot(p, c + QPointF(0, -0.03 * W), 0.11 * W, 0.035 * W, Rgba(60, 36, 28, 120), 0.2);
    p.setBrush(Rgba(255, 255, 255, 230));
    p.drawEllipse(irisC + QPointF(-0.015 * W, -0.014 * W), 0.008 * W, 0.008 * W);
    p.restore();
    // Lashes along the upper lid, heavier towards the outer corner; a
    // faint lower lid.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgba(30, 20, 16), 0.013 * W, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(upper);
    // Lashes: short dark curls along the outer part of the lid.
    p.setPen(QPen(Rgba(30, 20, 16, 150), std::max(0.5, 0.003 * W), Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        const double s = 0.45 + 0.55 * i / 11.0;
        const QPointF base = upper.pointAtPercent(s);
        const double len = (0.008 + 0.012 * s) * W;
        QPainterPath lash;
        lash.moveTo(base);
        lash.quadTo(base + QPointF(side * len * 0.2, -len * 0.7), base + QPointF(side * len * 0.8, -len * 0.8));
        p.drawPath(lash);
    }
    QPainterPath lower;
    lower.moveTo(outer);
    lower.cubicTo(outer + QPointF(-side * 0.05 * W, 0.045 * W), inner + QPointF(side * 0.05 * W, 0.04 * W), inner);
    p.setPen(QPen(Rgba(120, 70, 56, 150), 0.006 * W, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(lower);
}

void Eyebrow(QPainter& p, const QRectF& f, int side)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + side * u * W, t + v * H); };
    // A tapered arch: thick at the inner end, fine at the tail.
    QPainterPath brow;
    brow.moveTo(at(0.08, 0.355));
    brow.cubicTo(at(0.16, 0.32), at(0.26, 0.305), at(0.35, 0.345));
    brow.cubicTo(at(0.26, 0.322), at(0.16, 0.34), at(0.085, 0.39));
    brow.closeSubpath();
    QLinearGradient g(at(0.08, 0.36), at(0.35, 0.34));
    g.setColorAt(0.0, Rgba(78, 52, 36, 230));
    g.setColorAt(1.0, Rgba(62, 40, 28, 200));
    p.fillPath(brow, g);
    // Single hairs, slanting outwards, soften the brow's edge.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgba(58, 38, 26, 150), std::max(0.5, 0.004 * W), Qt::SolidLine, Qt::RoundCap));
    QPainterPath top;
    top.moveTo(at(0.08, 0.355));
    top.cubicTo(at(0.16, 0.32), at(0.26, 0.305), at(0.35, 0.345));
    for (int i = 0; i < 24; ++i) {
        const double s = (i + 0.5) / 24.0;
        const double thick = (0.03 * (1 - s) + 0.006) * H;
        const QPointF a = top.pointAtPercent(s) + QPointF(0, thick * (0.55 + 0.3 * ((i * 7) % 5) / 4.0));
        p.drawLine(a, a + QPointF(side * 0.025 * W, -0.6 * thick));
    }
}

void Mouth(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const double my = t + 0.775 * H;
    const auto at = [&](double u, double dv) { return QPointF(cx + u * W, my + dv * W); };
    // A slight smile: the corners a little raised.
    QPainterPath line;
    line.moveTo(at(-0.19, -0.012));
    line.cubicTo(at(-0.1, 0.012), at(0.1, 0.012), at(0.19, -0.012));
    QPainterPath upperLip;
    upperLip.moveTo(at(-0.19, -0.012));
    upperLip.cubicTo(at(-0.12, -0.03), at(-0.07, -0.062), at(-0.035, -0.058));
    upperLip.cubicTo(at(-0.015, -0.055), at(-0.005, -0.046), at(0, -0.044));
    upperLip.cubicTo(at(0.005, -0.046), at(0.015, -0.055), at(0.035, -0.058));
    upperLip.cubicTo(at(0.07, -0.062), at(0.12, -0.03), at(0.19, -0.012));
    upperLip.cubicTo(at(0.1, 0.012), at(-0.1, 0.012), at(-0.19, -0.012));
    upperLip.closeSubpath();
    QPainterPath lowerLip;
    lowerLip.moveTo(at(-0.19, -0.012));
    lowerLip.cubicTo(at(-0.1, 0.012), at(0.1, 0.012), at(0.19, -0.012));
    lowerLip.cubicTo(at(0.13, 0.055), at(0.06, 0.072), at(0, 0.072));
    lowerLip.cubicTo(at(-0.06, 0.072), at(-0.13, 0.055), at(-0.19, -0.012));
    lowerLip.closeSubpath();
    p.fillPath(upperLip, Rgba(164, 82, 78));
    QLinearGradient lg(0, my, 0, my + 0.072 * W);
    lg.setColorAt(0.0, Rgba(176, 88, 84));
    lg.setColorAt(0.5, Rgba(198, 110, 104));
    lg.setColorAt(1.0, Rgba(176, 96, 88));
    p.fillPath(lowerLip, lg);
    Spot(p, at(-0.03, 0.035), 0.05 * W, 0.014 * W, Rgba(240, 180, 170, 140), 0.2);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Rgba(92, 40, 40), 0.009 * W, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(line);
    // Dimples at the corners.
    Spot(p, at(-0.2, -0.008), 0.02 * W, 0.02 * W, Rgba(120, 66, 54, 120));
    Spot(p, at(0.2, -0.008), 0.02 * W, 0.02 * W, Rgba(120, 66, 54, 120));
}

// The hair over the forehead: a parting on the left, a fringe sweeping to
// the right in locks, strands following the sweep and catching the light.
void FrontHair(QPainter& p, const QRectF& f)
{
    const double cx = f.center().x(), t = f.top(), W = f.width(), H = f.height();
    const auto at = [&](double u, double v) { return QPointF(cx + u * W, t + v * H); };
    QPainterPath hair;
    hair.moveTo(at(-0.54, 0.44));
    hair.cubicTo(at(-0.51, 0.32), at(-0.5, 0.2), at(-0.43, 0.13));
    hair.cubicTo(at(-0.36, 0.06), at(-0.27, 0.03), at(-0.2, 0.03));
    // The fringe's edge: locks whose tips point down to the right.
    const QPointF e0 = at(-0.2, 0.03), e1 = at(0.08, 0.09), e2 = at(0.36, 0.15), e3 = at(0.54, 0.44);
    const auto edge = [&](double s) {  // a cubic through the edge's control points
        const double r = 1 - s;
        return r * r * r * e0 + 3 * r * r * s * e1 + 3 * r * s * s * e2 + s * s * s * e3;
    };
    const int locks = 5;
    for (int i = 0; i < locks; ++i) {
        const QPointF a = edge(double(i) / locks), b = edge(double(i + 1) / locks);
        const QPointF tip = b + QPointF(0.006 * W, 0.025 * H * (1.0 - 0.5 * i / locks));
        hair.cubicTo(a + (tip - a) * 0.4 + QPointF(0, 0.02 * H), tip + QPointF(-0.03 * W, 0.004 * H), tip);
        hair.quadTo((tip + b) / 2 + QPointF(-0.004 * W, -0.004 * H), b);
    }
    hair.cubicTo(at(0.66, 0.2), at(0.62, -0.06), at(0.44, -0.16));
    hair.cubicTo(at(0.2, -0.3), at(-0.25, -0.3), at(-0.46, -0.14));
    hair.cubicTo(at(-0.64, 0.0), at(-0.64, 0.25), at(-0.54, 0.44));
    hair.closeSubpath();
    QRadialGradient g(at(-0.2, -0.12), 0.85 * W);
    g.setColorAt(0.0, Rgba(122, 86, 58));
    g.setColorAt(0.45, Rgba(84, 57, 39));
    g.setColorAt(1.0, Rgba(44, 29, 20));
    p.fillPath(hair, g);
    // The hair's shadow on the forehead.
    const QPainterPath face = FaceOutline(f);
    p.save();
    p.setClipPath(face.subtracted(hair));
    Spot(p, at(0.06, 0.14), 0.5 * W, 0.07 * H, Rgba(118, 72, 52, 140), 0.3);
    p.restore();
    // Strands from the parting, to the left side and across to the right.
    p.save();
    p.setClipPath(hair);
    Rng rng(77);
    p.setBrush(Qt::NoBrush);
    const double pen = std::max(0.7, 0.005 * W);
    for (int i = 0; i < 160; ++i) {
        const double d = rng.uniform(), j = rng.uniform(-0.02, 0.02);
        const int tone = int(rng.uniform(0, 3));
        const QColor c = tone == 0 ? Rgba(160, 118, 80, 110) : tone == 1 ? Rgba(30, 20, 14, 120) : Rgba(96, 66, 44, 120);
        p.setPen(QPen(c, pen * rng.uniform(0.7, 1.5), Qt::SolidLine, Qt::RoundCap));
        QPainterPath s;
        if (i % 3 == 0) {
            s.moveTo(at(-0.22 + j, -0.24 + 0.26 * d));
            s.cubicTo(at(-0.4 + j, -0.2 + 0.3 * d), at(-0.62, 0.0 + 0.25 * d), at(-0.58, 0.25 + 0.2 * d));
        } else {
            s.moveTo(at(-0.2 + j, -0.24 + 0.27 * d));
            s.cubicTo(at(0.05 + j, -0.25 + 0.34 * d), at(0.4, -0.15 + 0.32 * d), at(0.57, 0.05 + 0.4 * d));
        }
        p.drawPath(s);
    }
    // Sheen on the crown.
    Spot(p, at(-0.05, -0.12), 0.3 * W, 0.06 * H, Rgba(190, 150, 110, 70), 0.2, 12);
    p.restore();
}

// A person whose face's oval is `f`.
void Person(QPainter& p, const QRectF& f)
{
    BackHair(p, f);
    Body(p, f);
    Ears(p, f);
    const QPainterPath face = FaceOutline(f);
    QRadialGradient skin(QPointF(f.center().x() - 0.08 * f.width(), f.top() + 0.42 * f.height()), 0.7 * f.width());
    skin.setColorAt(0.0, Rgba(234, 190, 160));
    skin.setColorAt(0.7, Rgba(222, 172, 142));
    skin.setColorAt(1.0, Rgba(198, 144, 114));
    p.fillPath(face, skin);
    p.save();
    p.setClipPath(face);
    Shading(p, f);
    Nose(p, f);
    Eye(p, f, -1);
    Eye(p, f, 1);
    Eyebrow(p, f, -1);
    Eyebrow(p, f, 1);
    Mouth(p, f);
    p.restore();
    FrontHair(p, f);
}

}  // namespace

QImage marigal::samples::Portrait(QSize size, QRect faceArea)
{
    QImage image(size, QImage::Format_RGB32);
    const double w = size.width(), h = size.height();
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        Park(p, w, h);
        if (!faceArea.isEmpty()) Person(p, QRectF(faceArea));
        // The lens darkens the corners a little.
        QRadialGradient vignette(QPointF(w / 2, h / 2), std::hypot(w, h) / 2);
        vignette.setColorAt(0.55, Rgba(0, 0, 0, 0));
        vignette.setColorAt(1.0, Rgba(0, 0, 0, 60));
        p.fillRect(QRectF(0, 0, w, h), vignette);
    }
    // Sensor noise, the same on every run.
    Rng rng(99);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const std::uint64_t r = rng.next();
            const int n = int(r & 7) - 3 + int((r >> 3) & 3) - 1;  // -4..+5, centred near 0
            const QRgb c = line[x];
            line[x] = qRgb(std::clamp(qRed(c) + n, 0, 255), std::clamp(qGreen(c) + n, 0, 255),
                           std::clamp(qBlue(c) + n, 0, 255));
        }
    }
    return image;
}
