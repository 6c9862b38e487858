#include "app/panel_picture.h"

#include <QFile>
#include <QFontMetrics>
#include <QPainter>

#include "app/appearance.h"

namespace tqv {

PanelPicture::PanelPicture(const Model& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedSize(kWidth, kHeight);
}

QString PanelPicture::name_text() const {
    if (model_.document_path.empty()) return QStringLiteral("File Name ");
    return QFile::decodeName(QByteArray::fromStdString(model_.document_path));
}

void PanelPicture::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);

    // Rectangles are given by corners with the far edge excluded, as the picture was drawn.
    p.fillRect(QRect(QPoint(0, 0), QPoint(629, 131)), kPanelFront);    // the device front
    p.fillRect(QRect(QPoint(60, 133), QPoint(119, 149)), kPanelFeet);  // the feet
    p.fillRect(QRect(QPoint(510, 133), QPoint(569, 149)), kPanelFeet);

    // The two 3-pixel lines at y = 24, rows 23..25; the end point is not drawn.
    p.fillRect(QRect(QPoint(12, 23), QPoint(512, 25)), kPanelInk);
    p.fillRect(QRect(QPoint(567, 23), QPoint(617, 25)), kPanelInk);

    p.setPen(kPanelInk);
    p.setBackgroundMode(Qt::TransparentMode);
    p.setFont(font());
    const QFontMetrics metrics(font());
    // Texts are placed by the top-left corner of their cell.
    auto text_at = [&](int x, int y, const QString& text) {
        p.drawText(QPoint(x, y + metrics.ascent()), text);
    };
    text_at(234, 2, QStringLiteral("TITLE GENERATOR"));
    text_at(519, 18, QStringLiteral("POWER"));
    // A long path keeps its start and its file name and loses its middle, so that it ends
    // before the right foot, where dark ink on the dark foot could not be read.
    constexpr int kNameLeft = 124;
    constexpr int kRightFoot = 510;
    text_at(kNameLeft, 132,
            metrics.elidedText(name_text(), Qt::ElideMiddle, kRightFoot - 4 - kNameLeft));
}

}  // namespace tqv
