#include "app/pictures.h"

#include "view/command_ids.h"

#include <QPainter>
#include <QPainterPath>

namespace veldrin {

namespace {

const QColor kTileBlue(0x1f, 0x5f, 0xa8);
const QColor kMercuryRed(0xd8, 0x2c, 0x20);
const QColor kDropBlue(0x3a, 0x9a, 0xe8);
const QColor kAttachedGreen(0x2e, 0x9e, 0x3e);
const QColor kUnpluggedGrey(0x80, 0x80, 0x80);

QImage blankImage(int width, int height, const QColor& fill = Qt::transparent) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return image;
}

// A thermometer standing in the rectangle: glass tube, red column and bulb.
void drawThermometer(QPainter& p, const QRectF& area, const QColor& glass) {
    const qreal bulb = area.width();
    const qreal tubeWidth = bulb * 0.5;
    const QRectF tube(area.center().x() - tubeWidth / 2, area.top(), tubeWidth,
                      area.height() - bulb * 0.8);
    const QRectF bulbRect(area.left(), area.bottom() - bulb, bulb, bulb);
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawRoundedRect(tube, tubeWidth / 2, tubeWidth / 2);
    p.drawEllipse(bulbRect);
    p.setBrush(kMercuryRed);
    const qreal inset = bulb * 0.18;
    const QRectF column(tube.left() + inset * 0.7, tube.top() + tube.height() * 0.35,
                        tube.width() - 1.4 * inset, tube.height());
    p.drawRect(column);
    p.drawEllipse(bulbRect.adjusted(inset, inset, -inset, -inset));
}

// A water drop whose round part fills the bottom of the rectangle.
void drawDrop(QPainter& p, const QRectF& area, const QColor& colour) {
    const qreal r = area.width() / 2;
    QPainterPath path;
    path.moveTo(area.center().x(), area.top());
    path.cubicTo(area.right(), area.bottom() - r * 1.2, area.right(), area.bottom(),
                 area.center().x(), area.bottom());
    path.cubicTo(area.left(), area.bottom(), area.left(), area.bottom() - r * 1.2,
                 area.center().x(), area.top());
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(path);
}

// The recorder seen from the front: a rounded body with a display, and its USB plug on the right.
void drawRecorder(QPainter& p, const QRectF& body, const QColor& colour, bool plugged) {
    p.setPen(QPen(colour.darker(150), qMax<qreal>(1.0, body.height() / 16)));
    p.setBrush(colour);
    p.drawRoundedRect(body, body.height() / 5, body.height() / 5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xe8, 0xf4, 0xe8));
    p.drawRect(QRectF(body.left() + body.width() * 0.12, body.top() + body.height() * 0.25,
                      body.width() * 0.5, body.height() * 0.5));
    const qreal plugHeight = body.height() * 0.45;
    const qreal gap = plugged ? 0.0 : body.height() * 0.6;
    const QRectF plug(body.right() + gap, body.center().y() - plugHeight / 2, body.height() * 0.7,
                      plugHeight);
    p.setBrush(QColor(0xb0, 0xb0, 0xb0));
    p.drawRect(plug);
}

void drawExport(QPainter& p) {
    p.setPen(QPen(QColor(0x50, 0x50, 0x50), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 2.5, 12, 18));
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    for (int y = 6; y <= 16; y += 3) {
        p.drawLine(QPointF(7, y + 0.5), QPointF(14, y + 0.5));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kAttachedGreen);
    QPainterPath arrow;
    arrow.moveTo(12, 10);
    arrow.lineTo(18, 10);
    arrow.lineTo(18, 6);
    arrow.lineTo(25, 12.5);
    arrow.lineTo(18, 19);
    arrow.lineTo(18, 15);
    arrow.lineTo(12, 15);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

void drawSetting(QPainter& p) {
    // A gear: a toothed wheel with a hole.
    const QPointF centre(13.5, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4a, 0x5a, 0x70));
    for (int tooth = 0; tooth < 8; ++tooth) {
        p.save();
        p.translate(centre);
        p.rotate(tooth * 45.0);
        p.drawRect(QRectF(-2, -10, 4, 5));
        p.restore();
    }
    p.drawEllipse(centre, 7.0, 7.0);
    p.setBrush(QColor(0xf0, 0xf0, 0xf0));
    p.drawEllipse(centre, 3.0, 3.0);
}

void drawClear(QPainter& p) {
    // A waste bin with its lid.
    const QColor bin(0xb0, 0x30, 0x28);
    p.setPen(Qt::NoPen);
    p.setBrush(bin);
    p.drawRect(QRectF(7, 5, 13, 2));
    p.drawRect(QRectF(11, 3, 5, 2));
    QPainterPath body;
    body.moveTo(8, 8);
    body.lineTo(19, 8);
    body.lineTo(18, 22);
    body.lineTo(9, 22);
    body.closeSubpath();
    p.drawPath(body);
    p.setPen(QPen(QColor(0xf4, 0xc0, 0xb8), 1));
    for (qreal x = 11.5; x <= 16.5; x += 2.5) {
        p.drawLine(QPointF(x, 10), QPointF(x, 20));
    }
}

void drawAbout(QPainter& p) {
    // An "i" in a blue disc.
    p.setPen(Qt::NoPen);
    p.setBrush(kTileBlue);
    p.drawEllipse(QPointF(13.5, 12), 10.0, 10.0);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(13.5, 6.5), 1.8, 1.8);
    p.drawRoundedRect(QRectF(12, 9.5, 3, 9), 1, 1);
}

void drawBack(QPainter& p) {
    // An arrow bending back to the left, over a small chart curve.
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1.5));
    p.drawPolyline(QPolygonF(
        {QPointF(4, 20), QPointF(9, 16), QPointF(13, 18), QPointF(18, 13), QPointF(23, 15)}));
    p.setPen(Qt::NoPen);
    p.setBrush(kTileBlue);
    QPainterPath arrow;
    arrow.moveTo(3, 8);
    arrow.lineTo(10, 2);
    arrow.lineTo(10, 5.5);
    arrow.cubicTo(18, 5.5, 24, 7, 24, 13);
    arrow.cubicTo(21, 10, 17, 10.5, 10, 10.5);
    arrow.lineTo(10, 14);
    arrow.closeSubpath();
    p.drawPath(arrow);
}

} // namespace

QImage programIconImage(int size) {
    QImage image = blankImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(kTileBlue);
    p.drawRoundedRect(QRectF(0, 0, s, s), s * 0.18, s * 0.18);
    drawThermometer(p, QRectF(s * 0.18, s * 0.1, s * 0.3, s * 0.8), Qt::white);
    drawDrop(p, QRectF(s * 0.56, s * 0.38, s * 0.3, s * 0.42), kDropBlue.lighter(130));
    return image;
}

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(programIconImage(size)));
    }
    return icon;
}

QImage toolbarImage(int commandId) {
    void (*draw)(QPainter&) = nullptr;
    switch (commandId) {
    case command_id::kExport:
        draw = drawExport;
        break;
    case command_id::kSetting:
        draw = drawSetting;
        break;
    case command_id::kClearPcData:
        draw = drawClear;
        break;
    case command_id::kAbout:
        draw = drawAbout;
        break;
    case command_id::kBack:
        draw = drawBack;
        break;
    default:
        return QImage();
    }
    QImage image = blankImage(kToolbarImageWidth, kToolbarImageHeight);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return image;
}

QImage statusPicture(bool recorderAttached) {
    if (recorderAttached) {
        QImage image = blankImage(103, 25, QColor(0xe6, 0xf5, 0xe6));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        drawRecorder(p, QRectF(8, 4, 62, 17), kAttachedGreen, true);
        p.setPen(Qt::NoPen);
        p.setBrush(kAttachedGreen);
        p.drawEllipse(QPointF(92, 12.5), 6, 6);
        return image;
    }
    QImage image = blankImage(200, 48, QColor(0xee, 0xee, 0xee));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    drawRecorder(p, QRectF(16, 8, 110, 32), kUnpluggedGrey, false);
    p.setPen(QPen(kMercuryRed, 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(40, 6), QPointF(170, 42));
    p.drawLine(QPointF(40, 42), QPointF(170, 6));
    return image;
}

} // namespace veldrin
