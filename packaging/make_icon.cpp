// Draws Sondrel's application icon at the given sizes, each drawn for its own size rather
// than scaled, into <folder>/<size>x<size>/apps/sondrel.png (the hicolor theme layout).
//   sondrel_make_icon <folder> <size>...
//
// The picture: a rounded blue tile (the blue of the about box) holding a white waveform of
// mirrored bars whose right half turns to a light cyan, with a chevron between the halves:
// sound going in, sound coming out converted.
#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QString>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Bar heights of the waveform, 0..1: a music-like envelope that is the same at every size.
double level(int i, int bars)
{
    const double x = (i + 0.5) / bars;
    const double envelope = 0.35 + 0.65 * std::sin(x * 3.14159265);
    const double wobble = 0.55 + 0.45 * std::fabs(std::sin(x * 17.0 + 0.6));
    return std::clamp(envelope * wobble, 0.18, 1.0);
}

QImage drawIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // The tile, with a small margin so it sits like other theme icons.
    const double margin = size <= 16 ? 0.5 : size * 0.06;
    const QRectF tile(margin, margin, size - 2 * margin, size - 2 * margin);
    const double radius = tile.width() * 0.2;
    QLinearGradient blue(tile.topLeft(), tile.bottomRight());
    blue.setColorAt(0.0, QColor(84, 132, 214));
    blue.setColorAt(0.55, QColor(57, 98, 177));
    blue.setColorAt(1.0, QColor(32, 74, 150));
    p.setPen(size >= 32 ? QPen(QColor(24, 52, 110), size / 64.0) : Qt::NoPen);
    p.setBrush(blue);
    p.drawRoundedRect(tile, radius, radius);

    // A soft sheen over the upper half.
    if (size >= 24) {
        QPainterPath sheen;
        sheen.addRoundedRect(tile.adjusted(1, 1, -1, -tile.height() * 0.5), radius, radius);
        QLinearGradient light(tile.topLeft(), QPointF(tile.left(), tile.center().y()));
        light.setColorAt(0.0, QColor(255, 255, 255, 70));
        light.setColorAt(1.0, QColor(255, 255, 255, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(light);
        p.drawPath(sheen);
    }

    // The waveform: mirrored bars around the middle line, left and right of a chevron; fewer
    // bars at small sizes, and on whole pixels there, so they stay crisp.
    const int perSide = size <= 16 ? 2 : size <= 32 ? 3 : size <= 48 ? 4 : 6;
    const bool snap = size < 64;
    const double inner = tile.width() * 0.76;
    const double slot = 1.6; // the chevron's room, in bar steps
    double step = inner / (2 * perSide + slot);
    if (snap)
        step = std::max(2.0, std::round(step));
    const double barWidth = snap ? std::max(1.0, std::round(step * 0.55)) : step * 0.55;
    const double total = step * (2 * perSide + slot);
    double left = tile.center().x() - total / 2;
    double centre = tile.center().y();
    if (snap) {
        left = std::round(left);
        centre = std::round(centre);
    }
    const double maxHalf = tile.height() * 0.3;
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 2 * perSide; ++i) {
        const bool out = i >= perSide;
        const double x = left + i * step + (out ? slot * step : 0.0) + (step - barWidth) / 2;
        double half = std::max(1.0, maxHalf * level(i, 2 * perSide));
        if (snap)
            half = std::max(1.0, std::round(half));
        const QRectF bar(snap ? std::round(x) : x, centre - half, barWidth, 2 * half);
        p.setBrush(out ? QColor(170, 235, 255) : QColor(255, 255, 255));
        const double r = snap && barWidth < 3 ? 0.0 : barWidth / 2;
        p.drawRoundedRect(bar, r, r);
    }

    // The chevron in the middle: in becomes out.
    const double cx = left + perSide * step + slot * step / 2;
    const double w = std::max(2.0, slot * step * 0.45);
    const double h = std::max(2.0, maxHalf * 0.6);
    QPen chevron(QColor(255, 196, 64), std::max(1.2, size / 20.0), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(chevron);
    p.setBrush(Qt::NoBrush);
    QPainterPath arrow;
    arrow.moveTo(cx - w / 2, centre - h);
    arrow.lineTo(cx + w / 2, centre);
    arrow.lineTo(cx - w / 2, centre + h);
    p.drawPath(arrow);
    p.end();
    return img;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <folder> <size>...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 16 || size > 1024) {
            std::fprintf(stderr, "%s: size %s is not between 16 and 1024\n", argv[0], argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "%s: cannot create %s\n", argv[0], qPrintable(dir));
            return 1;
        }
        const QString file = dir + QStringLiteral("/sondrel.png");
        if (!drawIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(file));
            return 1;
        }
    }
    return 0;
}
