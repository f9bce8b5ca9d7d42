#include "ui/common/artwork.hpp"

#include <QFont>
#include <QPainter>

namespace rastiv {

QPixmap productArtwork(int width, int height) {
    QPixmap p(width, height);
    p.fill(Qt::white);
    QPainter painter(&p);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 0, 0));
    painter.drawRect(0, height * 2 / 3, width, height / 6);
    painter.setBrush(Qt::black);
    painter.drawRect(0, height - height / 12, width, height / 12);
    QFont f(QStringLiteral("Sans Serif"));
    f.setBold(true);
    f.setPixelSize(std::max(8, height / 2));
    painter.setFont(f);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, width, height * 2 / 3), Qt::AlignCenter, QStringLiteral("Rastiv"));
    return p;
}

}  // namespace rastiv
