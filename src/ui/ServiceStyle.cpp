#include "ServiceStyle.h"

#include <QPainter>
#include <QPixmap>

namespace {

// Two chevrons pointing right, or down when `vertical`.
QIcon chevrons(bool vertical) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1.4));
    if (vertical) {
        painter.translate(16, 0);
        painter.rotate(90);
    }
    for (const qreal x : {4.0, 9.0}) {
        const QPointF arrow[] = {{x, 4.0}, {x + 3.5, 8.0}, {x, 12.0}};
        painter.drawPolyline(arrow, 3);
    }
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

QIcon ServiceStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const {
    switch (icon) {
        case SP_ToolBarHorizontalExtensionButton: return chevrons(false);
        case SP_ToolBarVerticalExtensionButton: return chevrons(true);
        default: return QProxyStyle::standardIcon(icon, option, widget);
    }
}
