#include "ui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>

#include <functional>
#include <map>

namespace quarrow::ui {

namespace {

// Every icon is drawn on a 24 x 24 grid and scaled, so each pixel size is painted
// afresh instead of being shrunk from a bigger picture.
constexpr double kGrid = 24.0;

const QColor kInk(0x30, 0x36, 0x3d);
const QColor kBlue(0x1f, 0x6f, 0xd0);
const QColor kGreen(0x2e, 0x9b, 0x47);
const QColor kRed(0xd0, 0x3b, 0x2f);
const QColor kOrange(0xe8, 0x8a, 0x1a);

QPen Pen(const QColor& c, double w) { return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin); }

void Disc(QPainter& p, QPointF c, double r) {
    QRadialGradient g(c, r);
    g.setColorAt(0.0, QColor(0xf4, 0xf6, 0xf8));
    g.setColorAt(0.55, QColor(0xc9, 0xd3, 0xde));
    g.setColorAt(1.0, QColor(0xa9, 0xb7, 0xc6));
    p.setPen(Pen(kInk, 1.3));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    p.setBrush(Qt::white);
    p.setPen(Pen(kInk, 1.0));
    p.drawEllipse(c, r * 0.22, r * 0.22);
}

// The disc the rip buttons share, a little up and left to leave room for a badge.
void RipDisc(QPainter& p) { Disc(p, {10.5, 10.5}, 9.0); }

// A filled circle in the lower right corner that carries the rip button's own sign.
void Badge(QPainter& p, const QColor& c) {
    p.setPen(Pen(Qt::white, 1.2));
    p.setBrush(c);
    p.drawEllipse(QPointF(17.5, 17.5), 6.0, 6.0);
}

void Polygon(QPainter& p, std::initializer_list<QPointF> points, const QColor& fill) {
    p.setPen(Pen(fill.darker(140), 1.0));
    p.setBrush(fill);
    p.drawPolygon(QPolygonF(QList<QPointF>(points)));
}

void Glyph(QPainter& p, QRectF box, const QString& text, const QColor& c) {
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(int(box.height()));
    p.setFont(f);
    p.setPen(c);
    p.drawText(box, Qt::AlignCenter, text);
}

void Page(QPainter& p, QRectF r) {
    p.setPen(Pen(kInk, 1.2));
    p.setBrush(Qt::white);
    QPainterPath path;
    path.moveTo(r.left(), r.top());
    path.lineTo(r.right() - 4, r.top());
    path.lineTo(r.right(), r.top() + 4);
    path.lineTo(r.right(), r.bottom());
    path.lineTo(r.left(), r.bottom());
    path.closeSubpath();
    p.drawPath(path);
}

using Painter = std::function<void(QPainter&)>;

const std::map<QString, Painter>& Painters() {
    static const std::map<QString, Painter> painters = {
        {"rip-selected", [](QPainter& p) {
             RipDisc(p);
             Badge(p, kBlue);
             p.setPen(Pen(Qt::white, 1.8));
             p.drawLine(QPointF(17.5, 14), QPointF(17.5, 21));
             p.drawLine(QPointF(15, 18.5), QPointF(17.5, 21));
             p.drawLine(QPointF(20, 18.5), QPointF(17.5, 21));
         }},
        {"rip-checked", [](QPainter& p) {
             RipDisc(p);
             Badge(p, kGreen);
             p.setPen(Pen(Qt::white, 2.0));
             p.drawPolyline(QPolygonF({QPointF(14.5, 17.5), QPointF(17, 20), QPointF(21, 15)}));
         }},
        {"rip-all", [](QPainter& p) {
             RipDisc(p);
             Badge(p, kOrange);
             p.setPen(Pen(Qt::white, 1.6));
             for (double x : {15.0, 17.5, 20.0}) p.drawLine(QPointF(x, 14.5), QPointF(x, 20.5));
         }},
        {"rip-range", [](QPainter& p) {
             RipDisc(p);
             Badge(p, kBlue);
             p.setPen(Pen(Qt::white, 1.5));
             p.drawPolyline(QPolygonF({QPointF(15.5, 14.5), QPointF(14, 14.5), QPointF(14, 20.5), QPointF(15.5, 20.5)}));
             p.drawPolyline(QPolygonF({QPointF(19.5, 14.5), QPointF(21, 14.5), QPointF(21, 20.5), QPointF(19.5, 20.5)}));
         }},
        {"rip-image", [](QPainter& p) {
             RipDisc(p);
             Page(p, {12.5, 10.5, 10, 12.5});
             p.setPen(Pen(kBlue, 1.2));
             for (double y : {15.0, 17.5, 20.0}) p.drawLine(QPointF(14.5, y), QPointF(20.5, y));
         }},
        {"edit-cd", [](QPainter& p) {
             RipDisc(p);
             // A pencil across the corner.
             p.save();
             p.translate(17, 17);
             p.rotate(-45);
             p.setPen(Pen(kInk, 1.0));
             p.setBrush(kOrange);
             p.drawRect(QRectF(-6, -2, 9, 4));
             Polygon(p, {{3, -2}, {7, 0}, {3, 2}}, QColor(0xf3, 0xd9, 0xa4));
             p.restore();
         }},
        {"help", [](QPainter& p) {
             p.setPen(Pen(kBlue.darker(130), 1.3));
             p.setBrush(kBlue);
             p.drawEllipse(QPointF(12, 12), 10, 10);
             Glyph(p, {4, 4, 16, 16}, "?", Qt::white);
         }},
        {"about", [](QPainter& p) {
             p.setPen(Pen(kBlue.darker(130), 1.3));
             p.setBrush(kBlue);
             p.drawEllipse(QPointF(12, 12), 10, 10);
             p.setPen(Pen(Qt::white, 2.6));
             p.drawPoint(QPointF(12, 7));
             p.drawLine(QPointF(12, 11), QPointF(12, 17.5));
         }},
        {"stop", [](QPainter& p) {
             p.setPen(Pen(kRed.darker(140), 1.0));
             p.setBrush(kRed);
             p.drawRoundedRect(QRectF(5, 5, 14, 14), 2, 2);
         }},
        {"play", [](QPainter& p) { Polygon(p, {{7, 4}, {20, 12}, {7, 20}}, kGreen); }},
        {"pause", [](QPainter& p) {
             p.setPen(Pen(kInk, 1.0));
             p.setBrush(kBlue);
             p.drawRoundedRect(QRectF(6, 5, 4.5, 14), 1, 1);
             p.drawRoundedRect(QRectF(13.5, 5, 4.5, 14), 1, 1);
         }},
        {"previous", [](QPainter& p) {
             p.setPen(Pen(kInk, 1.0));
             p.setBrush(kBlue);
             p.drawRect(QRectF(4, 6, 2.5, 12));
             Polygon(p, {{14, 6}, {7, 12}, {14, 18}}, kBlue);
             Polygon(p, {{21, 6}, {14, 12}, {21, 18}}, kBlue);
         }},
        {"next", [](QPainter& p) {
             Polygon(p, {{3, 6}, {10, 12}, {3, 18}}, kBlue);
             Polygon(p, {{10, 6}, {17, 12}, {10, 18}}, kBlue);
             p.setPen(Pen(kInk, 1.0));
             p.setBrush(kBlue);
             p.drawRect(QRectF(17.5, 6, 2.5, 12));
         }},
        {"eject", [](QPainter& p) {
             Polygon(p, {{12, 4}, {20, 13}, {4, 13}}, kInk.lighter(160));
             p.setPen(Pen(kInk, 1.0));
             p.setBrush(kInk.lighter(160));
             p.drawRect(QRectF(4, 16, 16, 3.5));
         }},
        {"homepage", [](QPainter& p) {
             Polygon(p, {{12, 3}, {22, 12}, {2, 12}}, kRed);
             p.setPen(Pen(kInk, 1.2));
             p.setBrush(QColor(0xf3, 0xe7, 0xcf));
             p.drawRect(QRectF(5, 12, 14, 9));
             p.setBrush(kInk.lighter(150));
             p.drawRect(QRectF(10, 15, 4, 6));
         }},
        {"format", [](QPainter& p) {
             // A sound wave turning into a file.
             Page(p, {5, 2.5, 14, 19});
             p.setPen(Pen(kBlue, 1.5));
             QPainterPath wave;
             wave.moveTo(7, 12);
             wave.cubicTo(9, 5, 10, 5, 12, 12);
             wave.cubicTo(14, 19, 15, 19, 17, 12);
             p.setBrush(Qt::NoBrush);
             p.drawPath(wave);
         }},
        {"options", [](QPainter& p) {
             // A gear: eight teeth round a ring.
             p.save();
             p.translate(12, 12);
             p.setPen(Pen(kInk, 1.0));
             p.setBrush(kInk.lighter(170));
             for (int i = 0; i < 8; ++i) {
                 p.drawRect(QRectF(-1.8, -10.5, 3.6, 4));
                 p.rotate(45);
             }
             p.drawEllipse(QPointF(0, 0), 7.5, 7.5);
             p.setBrush(Qt::white);
             p.drawEllipse(QPointF(0, 0), 3, 3);
             p.restore();
         }},
        {"log", [](QPainter& p) {
             Page(p, {4.5, 2.5, 15, 19});
             p.setPen(Pen(kInk.lighter(150), 1.3));
             for (double y : {8.0, 11.0, 14.0, 17.0}) p.drawLine(QPointF(7.5, y), QPointF(y == 17.0 ? 12.5 : 16.5, y));
         }},
        {"refresh", [](QPainter& p) {
             p.setPen(Pen(kGreen, 2.4));
             p.setBrush(Qt::NoBrush);
             p.drawArc(QRectF(4, 4, 16, 16), 100 * 16, 290 * 16);
             Polygon(p, {{12.5, 0.8}, {17.5, 4.3}, {12.5, 7.8}}, kGreen);
         }},
        {"quarrow", [](QPainter& p) {
             Disc(p, {12, 12}, 11);
             // The arrow of the name, flying off the disc.
             p.setPen(Pen(kRed, 2.2));
             p.drawLine(QPointF(5, 19), QPointF(18, 6));
             Polygon(p, {{21.5, 2.5}, {19.5, 10}, {14, 4.5}}, kRed);
         }},
    };
    return painters;
}

QPixmap Render(const Painter& paint, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.scale(size / kGrid, size / kGrid);
    paint(p);
    return pixmap;
}

}  // namespace

QIcon QuarrowIcon(const QString& name) {
    static std::map<QString, QIcon> cache;
    const auto painter = Painters().find(name);
    if (painter == Painters().end()) return {};
    QIcon& icon = cache[name];
    if (icon.isNull()) {
        for (int size : {16, 22, 24, 32, 48, 64, 128}) icon.addPixmap(Render(painter->second, size));
    }
    return icon;
}

QStringList QuarrowIconNames() {
    QStringList names;
    for (const auto& [name, paint] : Painters()) names << name;
    return names;
}

}  // namespace quarrow::ui
