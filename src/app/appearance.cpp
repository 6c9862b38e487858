#include "app/appearance.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLocale>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QTranslator>

namespace tqv {

QIcon app_icon() {
    QIcon icon;
    for (int size : {16, 32, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        const qreal u = size / 16.0;
        p.fillRect(QRectF(0, 3 * u, 16 * u, 9 * u), kPanelFront);
        p.fillRect(QRectF(2 * u, 12 * u, 3 * u, 2 * u), kPanelFeet);
        p.fillRect(QRectF(11 * u, 12 * u, 3 * u, 2 * u), kPanelFeet);
        p.fillRect(QRectF(1 * u, 5 * u, 11 * u, u), kPanelInk);
        p.fillRect(QRectF(13 * u, 5 * u, 2 * u, u), kPanelInk);
        p.setPen(QPen(kPanelInk, 0));
        p.drawRect(QRectF(0, 3 * u, 16 * u - 1, 9 * u));
        icon.addPixmap(pixmap);
    }
    return icon;
}

void use_japanese_font(QApplication& app) {
    QFont font = QApplication::font();
    QStringList families{font.family()};
    for (const char* face : {"Noto Sans CJK JP", "Noto Sans JP", "IPAGothic", "IPAPGothic",
                             "TakaoGothic", "VL Gothic"}) {
        families << QString::fromLatin1(face);
    }
    font.setFamilies(families);
    app.setFont(font);
}

bool use_japanese(QApplication& app) {
    use_japanese_font(app);
    // Dates and numbers that Qt formats itself follow the same language.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QApplication::installTranslator(translator);
}

}  // namespace tqv
