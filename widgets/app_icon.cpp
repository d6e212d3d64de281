#include "widgets/app_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace sqs {

QPixmap appIconPixmap(int size, qreal ratio) {
    const int device = qRound(size * ratio);
    QPixmap pixmap(device, device);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(device / 32.0, device / 32.0);

    // Disk body with a clipped corner.
    QPainterPath body;
    body.moveTo(3, 3);
    body.lineTo(25, 3);
    body.lineTo(29, 7);
    body.lineTo(29, 29);
    body.lineTo(3, 29);
    body.closeSubpath();
    p.setPen(QPen(QColor(20, 40, 90), 1));
    p.setBrush(QColor(40, 90, 170));
    p.drawPath(body);

    // Metal shutter and label.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 205, 215));
    p.drawRect(QRectF(9, 3.5, 13, 8));
    p.setBrush(QColor(40, 90, 170));
    p.drawRect(QRectF(17, 5, 3, 5));
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(7, 16, 18, 11));

    // The slice: a bright slanted cut across the disk.
    p.setPen(QPen(QColor(255, 140, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(2, 24), QPointF(30, 12));
    p.setPen(QPen(QColor(255, 220, 120), 1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 23), QPointF(28, 13));
    p.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon appIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(appIconPixmap(size));
    return icon;
}

}  // namespace sqs
