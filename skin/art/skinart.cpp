// Draws the art of the skin file at build time: the window background and the normal, hover
// and pressed look of every element that skin.json names, then writes the resource list that
// rcc packs into sondrel.dll together with skin.json itself.
//
//   skinart <skin.json> <output folder>
//
// Everything is drawn here with QPainter; the skin holds no art from anywhere else.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QSaveFile>
#include <QTextStream>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

// The colours of the skin: a deep blue band over a light blue-grey panel, matching the
// about box and the progress bar.
const QColor BandTop(64, 108, 184);
const QColor BandMiddle(43, 80, 148);
const QColor BandBottom(27, 52, 104);
const QColor BandEdge(16, 33, 70);
const QColor PanelTop(241, 245, 250);
const QColor PanelBottom(221, 230, 241);
const QColor WellBorder(143, 161, 192);
const QColor LabelInk(62, 82, 118);
const QColor ButtonInk(30, 46, 78);
const QColor Glyph(255, 255, 255);

[[noreturn]] void fail(const QString& message)
{
    std::fprintf(stderr, "skinart: %s\n", qPrintable(message));
    std::exit(1);
}

QRect rectOf(const QJsonValue& v)
{
    const QJsonArray a = v.toArray();
    if (a.size() != 4)
        fail(QStringLiteral("a rectangle needs four numbers"));
    return QRect(a[0].toInt(), a[1].toInt(), a[2].toInt(), a[3].toInt());
}

QFont uiFont(int pixelSize, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// The largest font up to `pixelSize` in which `text` fits `width`.
QFont fittingFont(const QString& text, int pixelSize, int width, bool bold = false)
{
    QFont f = uiFont(pixelSize, bold);
    while (pixelSize > 7 && QFontMetrics(f).horizontalAdvance(text) > width)
        f = uiFont(--pixelSize, bold);
    return f;
}

// Every image is drawn twice: at the window's own pixels, and at twice as many for screens
// that scale the window up. The painter works in window pixels either way.
int artScale = 1;

QImage blank(QSize size)
{
    QImage img(size * artScale, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(artScale);
    img.fill(Qt::transparent);
    return img;
}

void save(const QImage& img, const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!img.save(path, "PNG"))
        fail(QStringLiteral("cannot write %1").arg(path));
}

// ---- Icons, each drawn into a 24 by 24 box -------------------------------------------------

QPainterPath documentShape()
{
    QPainterPath doc;
    doc.moveTo(5, 2);
    doc.lineTo(14, 2);
    doc.lineTo(19, 7);
    doc.lineTo(19, 22);
    doc.lineTo(5, 22);
    doc.closeSubpath();
    return doc;
}

void drawDocument(QPainter& p, const QColor& ink)
{
    p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QColor fill = ink;
    fill.setAlpha(60);
    p.setBrush(fill);
    p.drawPath(documentShape());
    p.setBrush(Qt::NoBrush);
    QPainterPath fold;
    fold.moveTo(14, 2);
    fold.lineTo(14, 7);
    fold.lineTo(19, 7);
    p.drawPath(fold);
    // Two text lines on the page.
    p.drawLine(QPointF(8, 11), QPointF(14, 11));
    p.drawLine(QPointF(8, 14.5), QPointF(12, 14.5));
}

// A round badge at the lower right with a plus, a minus or a cross on it.
void drawBadge(QPainter& p, const QColor& colour, char sign, bool shadowPass)
{
    const QPointF c(17.5, 17.5);
    p.setPen(QPen(shadowPass ? QColor(0, 0, 0, 90) : Glyph, 1.4));
    p.setBrush(shadowPass ? QColor(0, 0, 0, 90) : colour);
    p.drawEllipse(c, 5.6, 5.6);
    if (shadowPass)
        return;
    p.setPen(QPen(Glyph, 1.9, Qt::SolidLine, Qt::RoundCap));
    if (sign == '+' || sign == '-')
        p.drawLine(QPointF(c.x() - 2.8, c.y()), QPointF(c.x() + 2.8, c.y()));
    if (sign == '+')
        p.drawLine(QPointF(c.x(), c.y() - 2.8), QPointF(c.x(), c.y() + 2.8));
    if (sign == 'x') {
        p.drawLine(QPointF(c.x() - 2.2, c.y() - 2.2), QPointF(c.x() + 2.2, c.y() + 2.2));
        p.drawLine(QPointF(c.x() - 2.2, c.y() + 2.2), QPointF(c.x() + 2.2, c.y() - 2.2));
    }
}

void drawArrowHead(QPainter& p, QPointF tip, double angleDeg, const QColor& ink)
{
    const double a = angleDeg * M_PI / 180.0;
    const QPointF dir(std::cos(a), -std::sin(a));
    const QPointF side(-dir.y(), dir.x());
    QPolygonF head;
    head << tip + dir * 3.2 << tip - dir * 2.6 + side * 3.6 << tip - dir * 2.6 - side * 3.6;
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPolygon(head);
}

// Two arrows chasing each other round a circle: one format turned into another.
void drawConvert(QPainter& p, const QColor& ink)
{
    const QRectF circle(4, 4, 16, 16);
    p.setPen(QPen(ink, 2.3, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    // Qt's arcs start at 3 o'clock and run counter-clockwise, in sixteenths of a degree.
    p.drawArc(circle, 30 * 16, 130 * 16);
    p.drawArc(circle, 210 * 16, 130 * 16);
    const auto onCircle = [](double deg) {
        const double a = deg * M_PI / 180.0;
        return QPointF(12 + 8 * std::cos(a), 12 - 8 * std::sin(a));
    };
    // Heads at the counter-clockwise ends, pointing along the turn.
    drawArrowHead(p, onCircle(160), 160 + 90, ink);
    drawArrowHead(p, onCircle(340), 340 + 90, ink);
}

QPolygonF octagon(QPointF c, double r)
{
    QPolygonF o;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45.0 * i) * M_PI / 180.0;
        o << QPointF(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
    }
    return o;
}

void drawStopSign(QPainter& p, bool shadowPass)
{
    p.setPen(QPen(shadowPass ? QColor(0, 0, 0, 90) : Glyph, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(shadowPass ? QColor(0, 0, 0, 90) : QColor(212, 66, 60));
    p.drawPolygon(octagon(QPointF(12, 12), 9.6));
    if (shadowPass)
        return;
    p.setPen(Qt::NoPen);
    p.setBrush(Glyph);
    p.drawRoundedRect(QRectF(7, 10.4, 10, 3.2), 1.2, 1.2);
}

void drawRing(QPainter& p, const QColor& ink)
{
    p.setPen(QPen(ink, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(12, 12), 10.2, 10.2);
}

void drawPlay(QPainter& p, const QColor& ink)
{
    drawRing(p, ink);
    QPainterPath tri;
    tri.moveTo(9.6, 7.2);
    tri.lineTo(17.4, 12);
    tri.lineTo(9.6, 16.8);
    tri.closeSubpath();
    p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    p.drawPath(tri);
}

void drawPause(QPainter& p, const QColor& ink)
{
    drawRing(p, ink);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(8, 7.5, 2.9, 9), 0.8, 0.8);
    p.drawRoundedRect(QRectF(13.1, 7.5, 2.9, 9), 0.8, 0.8);
}

void drawStopPlay(QPainter& p, const QColor& ink)
{
    drawRing(p, ink);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRoundedRect(QRectF(8, 8, 8, 8), 1.0, 1.0);
}

void drawList(QPainter& p, const QColor& ink)
{
    p.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::RoundCap));
    for (double y : {5.0, 10.0, 15.0}) {
        p.drawPoint(QPointF(4, y));
        p.drawLine(QPointF(7.5, y), QPointF(y < 12 ? 19 : 11, y));
    }
    p.drawPoint(QPointF(4, 20));
    p.drawLine(QPointF(7.5, 20), QPointF(10, 20));
}

// A luggage tag pointing left, with its hole and two lines of writing.
void drawTag(QPainter& p, const QColor& ink)
{
    p.save();
    p.translate(12, 12);
    p.rotate(-35);
    p.translate(-12, -12);
    QPainterPath tag;
    tag.moveTo(2.5, 12);
    tag.lineTo(8.5, 5.5);
    tag.lineTo(21.5, 5.5);
    tag.lineTo(21.5, 18.5);
    tag.lineTo(8.5, 18.5);
    tag.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(8.2, 12), 1.8, 1.8);
    p.setPen(QPen(ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    QColor fill = ink;
    fill.setAlpha(60);
    p.setBrush(fill);
    p.drawPath(tag.subtracted(hole));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8.2, 12), 1.8, 1.8);
    p.drawLine(QPointF(12.5, 10), QPointF(18.5, 10));
    p.drawLine(QPointF(12.5, 14), QPointF(16.5, 14));
    p.restore();
}

// A cog of eight teeth with its axle hole.
void drawGear(QPainter& p, const QColor& ink)
{
    const QPointF c(12, 12);
    const int teeth = 8;
    const double outer = 10.4, inner = 7.6;
    QPainterPath gear;
    for (int i = 0; i < teeth * 4; ++i) {
        // Each tooth: rise, top, fall, valley, as four points around the circle.
        const double a = (i * 360.0 / (teeth * 4) - 5.6) * M_PI / 180.0;
        const double r = (i % 4 == 1 || i % 4 == 2) ? outer : inner;
        const QPointF pt(c.x() + r * std::cos(a), c.y() + r * std::sin(a));
        if (i == 0)
            gear.moveTo(pt);
        else
            gear.lineTo(pt);
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(c, 3.4, 3.4);
    p.setPen(QPen(ink, 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(ink);
    p.drawPath(gear.subtracted(hole));
}

// A manila folder for "Browse", in colour: it sits on the light panel.
void drawFolder(QPainter& p, double scale)
{
    p.save();
    p.scale(scale, scale);
    const QColor edge(168, 112, 24);
    QPainterPath back;
    back.moveTo(2, 5);
    back.lineTo(8.5, 5);
    back.lineTo(10.5, 7);
    back.lineTo(21.5, 7);
    back.lineTo(21.5, 19.5);
    back.lineTo(2, 19.5);
    back.closeSubpath();
    p.setPen(QPen(edge, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(QColor(226, 168, 58));
    p.drawPath(back);
    QPainterPath front;
    front.moveTo(2, 19.5);
    front.lineTo(4.2, 10);
    front.lineTo(22.8, 10);
    front.lineTo(21.5, 19.5);
    front.closeSubpath();
    QLinearGradient g(0, 10, 0, 19.5);
    g.setColorAt(0, QColor(255, 222, 130));
    g.setColorAt(1, QColor(246, 190, 82));
    p.setBrush(g);
    p.drawPath(front);
    p.restore();
}

// Draws the icon named `kind` into a 24 by 24 box at `origin`, with a soft shadow under it.
void drawIcon(QPainter& p, const QString& kind, QPointF origin)
{
    const auto glyph = [&](const QColor& ink, bool shadowPass) {
        if (kind == QLatin1String("add")) {
            drawDocument(p, ink);
            drawBadge(p, QColor(64, 168, 84), '+', shadowPass);
        } else if (kind == QLatin1String("remove")) {
            drawDocument(p, ink);
            drawBadge(p, QColor(214, 72, 64), '-', shadowPass);
        } else if (kind == QLatin1String("clear")) {
            drawList(p, ink);
            drawBadge(p, QColor(214, 72, 64), 'x', shadowPass);
        } else if (kind == QLatin1String("convert")) {
            drawConvert(p, ink);
        } else if (kind == QLatin1String("stopconvert")) {
            drawStopSign(p, shadowPass);
        } else if (kind == QLatin1String("play")) {
            drawPlay(p, ink);
        } else if (kind == QLatin1String("pause")) {
            drawPause(p, ink);
        } else if (kind == QLatin1String("stopplay")) {
            drawStopPlay(p, ink);
        } else if (kind == QLatin1String("tag")) {
            drawTag(p, ink);
        } else if (kind == QLatin1String("options")) {
            drawGear(p, ink);
        } else {
            fail(QStringLiteral("no icon called %1").arg(kind));
        }
    };
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(origin + QPointF(0, 1));
    glyph(QColor(0, 0, 0, 90), true);
    p.translate(0, -1);
    glyph(Glyph, false);
    p.restore();
}

// ---- Element looks --------------------------------------------------------------------------

enum class Look { Normal, Hover, Pressed };

// One caption size for every band button: the largest in which all captions fit.
int bandCaptionPixels = 11;

// A button of the band: icon above its caption, white on the blue band. Normal is the bare
// icon and caption; hover lights a rounded plate behind them; pressed sinks it and moves the
// content down a pixel.
QImage bandButton(const QJsonObject& e, Look look)
{
    const QRect r = rectOf(e.value(QStringLiteral("rect")));
    QImage img = blank(r.size());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate = QRectF(0.5, 0.5, r.width() - 1.0, r.height() - 1.0);
    if (look == Look::Hover) {
        QLinearGradient g(0, 0, 0, r.height());
        g.setColorAt(0, QColor(255, 255, 255, 70));
        g.setColorAt(1, QColor(255, 255, 255, 28));
        p.setPen(QPen(QColor(255, 255, 255, 120), 1));
        p.setBrush(g);
        p.drawRoundedRect(plate, 4, 4);
    } else if (look == Look::Pressed) {
        QLinearGradient g(0, 0, 0, r.height());
        g.setColorAt(0, QColor(6, 18, 44, 150));
        g.setColorAt(1, QColor(12, 30, 66, 95));
        p.setPen(QPen(QColor(6, 16, 40, 170), 1));
        p.setBrush(g);
        p.drawRoundedRect(plate, 4, 4);
        // The lit lower rim of a sunken plate.
        p.setPen(QPen(QColor(255, 255, 255, 55), 1));
        p.drawLine(QPointF(4, r.height() - 0.5), QPointF(r.width() - 4, r.height() - 0.5));
    }
    const int shift = look == Look::Pressed ? 1 : 0;
    drawIcon(p, e.value(QStringLiteral("icon")).toString(), QPointF((r.width() - 24) / 2.0, 7 + shift));

    const QString caption = e.value(QStringLiteral("caption")).toString();
    p.setFont(uiFont(bandCaptionPixels));
    const QRect textBox(0, 35 + shift, r.width(), 16);
    p.setPen(QColor(0, 0, 0, 110));
    p.drawText(textBox.translated(0, 1), Qt::AlignHCenter | Qt::AlignVCenter, caption);
    p.setPen(Glyph);
    p.drawText(textBox, Qt::AlignHCenter | Qt::AlignVCenter, caption);
    return img;
}

// A push button on the light panel: a raised plate with a small folder and the caption.
QImage panelButton(const QJsonObject& e, Look look)
{
    const QRect r = rectOf(e.value(QStringLiteral("rect")));
    QImage img = blank(r.size());
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF plate(0.5, 0.5, r.width() - 1.0, r.height() - 1.0);
    QLinearGradient g(0, 0, 0, r.height());
    QColor border;
    switch (look) {
    case Look::Normal:
        g.setColorAt(0, QColor(255, 255, 255));
        g.setColorAt(1, QColor(222, 230, 242));
        border = QColor(128, 147, 180);
        break;
    case Look::Hover:
        g.setColorAt(0, QColor(255, 255, 255));
        g.setColorAt(1, QColor(208, 225, 250));
        border = QColor(57, 98, 177);
        break;
    case Look::Pressed:
        g.setColorAt(0, QColor(190, 205, 228));
        g.setColorAt(1, QColor(214, 225, 240));
        border = QColor(57, 98, 177);
        break;
    }
    p.setPen(QPen(border, 1));
    p.setBrush(g);
    p.drawRoundedRect(plate, 3, 3);
    const int shift = look == Look::Pressed ? 1 : 0;

    const QString caption = e.value(QStringLiteral("caption")).toString();
    const QFont font = fittingFont(caption, 11, r.width() - 26);
    const int textWidth = QFontMetrics(font).horizontalAdvance(caption);
    const double iconSize = 14;
    const double contentWidth = iconSize + 4 + textWidth;
    const double left = std::floor((r.width() - contentWidth) / 2.0);
    p.save();
    p.translate(left, (r.height() - iconSize) / 2.0 + shift);
    drawFolder(p, iconSize / 24.0);
    p.restore();
    p.setFont(font);
    p.setPen(ButtonInk);
    p.drawText(QRectF(left + iconSize + 4, shift, textWidth + 2, r.height()), Qt::AlignLeft | Qt::AlignVCenter, caption);
    return img;
}

// ---- Background -----------------------------------------------------------------------------

QImage background(const QJsonObject& skin)
{
    const QJsonArray client = skin.value(QStringLiteral("client")).toArray();
    const QSize size(client.at(0).toInt(), client.at(1).toInt());
    if (size.isEmpty())
        fail(QStringLiteral("skin.json gives no client size"));
    QImage img = blank(size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    // The band is as tall as the band buttons reach, plus their margin.
    int bandBottom = 0;
    QList<QRect> bandButtons;
    for (const QJsonValue& v : skin.value(QStringLiteral("elements")).toArray()) {
        const QJsonObject e = v.toObject();
        if (e.value(QStringLiteral("style")).toString() == QLatin1String("band")) {
            const QRect r = rectOf(e.value(QStringLiteral("rect")));
            bandButtons << r;
            bandBottom = std::max(bandBottom, r.bottom() + 1 + r.top());
        }
    }

    QLinearGradient panel(0, bandBottom, 0, size.height());
    panel.setColorAt(0, PanelTop);
    panel.setColorAt(1, PanelBottom);
    p.fillRect(QRect(0, bandBottom, size.width(), size.height() - bandBottom), panel);

    QLinearGradient band(0, 0, 0, bandBottom);
    band.setColorAt(0, BandTop);
    band.setColorAt(0.5, BandMiddle);
    band.setColorAt(1, BandBottom);
    p.fillRect(QRect(0, 0, size.width(), bandBottom), band);
    // A faint sheen on the upper half and a lit top edge.
    QLinearGradient sheen(0, 0, 0, bandBottom / 2.0);
    sheen.setColorAt(0, QColor(255, 255, 255, 38));
    sheen.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRect(0, 0, size.width(), bandBottom / 2), sheen);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(255, 255, 255, 60));
    p.drawLine(0, 0, size.width() - 1, 0);
    p.setPen(BandEdge);
    p.drawLine(0, bandBottom - 1, size.width() - 1, bandBottom - 1);
    p.setPen(QColor(255, 255, 255, 200));
    p.drawLine(0, bandBottom, size.width() - 1, bandBottom);

    // Etched dividers between the groups of band buttons.
    std::sort(bandButtons.begin(), bandButtons.end(), [](const QRect& a, const QRect& b) { return a.left() < b.left(); });
    for (int i = 1; i < bandButtons.size(); ++i) {
        const QRect& a = bandButtons.at(i - 1);
        const QRect& b = bandButtons.at(i);
        if (b.left() - (a.right() + 1) < 6)
            continue;
        const int x = (a.right() + 1 + b.left()) / 2;
        p.setPen(QColor(10, 24, 56, 150));
        p.drawLine(x, a.top() + 8, x, a.bottom() - 8);
        p.setPen(QColor(255, 255, 255, 45));
        p.drawLine(x + 1, a.top() + 8, x + 1, a.bottom() - 8);
    }

    // Frames around the places of the program's own controls.
    const QJsonArray wells = skin.value(QStringLiteral("wells")).toArray();
    for (const QJsonValue& v : wells) {
        const QRect w = rectOf(v);
        p.setPen(QColor(255, 255, 255, 190));
        p.drawRect(w.adjusted(-2, -2, 1, 1));
        p.setPen(WellBorder);
        p.drawRect(w.adjusted(-1, -1, 0, 0));
    }

    // Small captions over the fields.
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const QJsonValue& v : skin.value(QStringLiteral("labels")).toArray()) {
        const QJsonObject l = v.toObject();
        const QRect r = rectOf(l.value(QStringLiteral("rect")));
        const QString text = l.value(QStringLiteral("text")).toString();
        p.setFont(fittingFont(text, 10, r.width()));
        p.setPen(QColor(255, 255, 255, 170));
        p.drawText(r.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter, text);
        p.setPen(LabelInk);
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
    }

    // The product's name at the lower left, over a short waveform.
    const QJsonObject mark = skin.value(QStringLiteral("wordmark")).toObject();
    if (!mark.isEmpty()) {
        const QRect r = rectOf(mark.value(QStringLiteral("rect")));
        const QString text = mark.value(QStringLiteral("text")).toString();
        QFont f = uiFont(17, true);
        f.setLetterSpacing(QFont::PercentageSpacing, 96);
        p.setFont(f);
        const int textWidth = QFontMetrics(f).horizontalAdvance(text);
        p.setPen(QColor(255, 255, 255, 200));
        p.drawText(r.translated(0, 1), Qt::AlignLeft | Qt::AlignVCenter, text);
        p.setPen(QColor(57, 98, 177));
        p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, text);
        // Mirrored bars that swell and fade, right of the name.
        const int left = r.left() + textWidth + 10, right = r.right();
        const double centre = r.center().y() + 0.5;
        QLinearGradient ink(left, 0, right, 0);
        ink.setColorAt(0, QColor(57, 98, 177, 200));
        ink.setColorAt(1, QColor(57, 98, 177, 40));
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        const int bars = std::max(0, (right - left) / 4);
        for (int i = 0; i < bars; ++i) {
            const double t = (i + 0.5) / bars;
            const double level = std::pow(std::sin(M_PI * (0.15 + 0.85 * t)), 0.7)
                                 * (0.55 + 0.45 * std::fabs(std::sin(i * 0.9) * std::cos(i * 0.31 + 0.4)));
            const double half = 1.0 + 7.0 * level;
            p.drawRoundedRect(QRectF(left + i * 4, centre - half, 2.5, 2 * half), 1, 1);
        }
    }
    return img;
}

} // namespace

int main(int argc, char** argv)
{
    // Drawing needs no screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3)
        fail(QStringLiteral("usage: skinart <skin.json> <output folder>"));

    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1: %2").arg(args.at(1), source.errorString()));
    const QByteArray json = source.readAll();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (!doc.isObject())
        fail(QStringLiteral("%1: %2").arg(args.at(1), error.errorString()));
    const QJsonObject skin = doc.object();

    const QDir out(args.at(2));
    QDir().mkpath(out.path());
    QStringList files;
    const auto write = [&](const QImage& img, const QString& name) {
        save(img, out.filePath(name));
        files << name;
    };

    for (const QJsonValue& v : skin.value(QStringLiteral("elements")).toArray()) {
        const QJsonObject e = v.toObject();
        if (e.value(QStringLiteral("style")).toString() != QLatin1String("band"))
            continue;
        const QString caption = e.value(QStringLiteral("caption")).toString();
        const int width = rectOf(e.value(QStringLiteral("rect"))).width() - 2;
        bandCaptionPixels = std::min(bandCaptionPixels, fittingFont(caption, 11, width).pixelSize());
    }

    // The larger art goes beside each image, named with "@2x" before the extension.
    for (int scale : {1, 2}) {
        artScale = scale;
        const auto name = [scale](QString file) {
            return scale == 1 ? file : file.insert(file.lastIndexOf(QLatin1Char('.')), QStringLiteral("@2x"));
        };
        write(background(skin), name(skin.value(QStringLiteral("background")).toString()));
        for (const QJsonValue& v : skin.value(QStringLiteral("elements")).toArray()) {
            const QJsonObject e = v.toObject();
            const bool band = e.value(QStringLiteral("style")).toString() == QLatin1String("band");
            const std::pair<const char*, Look> looks[] = {
                {"normal", Look::Normal}, {"hover", Look::Hover}, {"pressed", Look::Pressed}};
            for (const auto& [key, look] : looks) {
                const QString file = e.value(QLatin1String(key)).toString();
                // A look given as a colour is drawn by the skin control itself.
                if (file.isEmpty() || file.startsWith(QLatin1Char('#')))
                    continue;
                write(band ? bandButton(e, look) : panelButton(e, look), name(file));
            }
        }
    }

    QSaveFile copy(out.filePath(QStringLiteral("skin.json")));
    if (!copy.open(QIODevice::WriteOnly) || copy.write(json) != json.size() || !copy.commit())
        fail(QStringLiteral("cannot write %1").arg(copy.fileName()));

    // The resource list last: the build treats it as the mark that the art is complete.
    QSaveFile qrc(out.filePath(QStringLiteral("skin.qrc")));
    if (!qrc.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write %1").arg(qrc.fileName()));
    QTextStream ts(&qrc);
    ts << "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    ts << "  <file>skin.json</file>\n";
    for (const QString& f : files)
        ts << "  <file>" << f << "</file>\n";
    ts << "</qresource>\n</RCC>\n";
    ts.flush();
    if (!qrc.commit())
        fail(QStringLiteral("cannot write %1").arg(qrc.fileName()));
    return 0;
}
