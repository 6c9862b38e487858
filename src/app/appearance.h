// The program's look: the colours of the device's front panel, its icon (a small front
// panel), a font that shows the Japanese texts with Japanese glyph forms, and Qt's own
// texts (standard buttons, file dialogs, context menus) in Japanese.
#pragma once

#include <QColor>
#include <QIcon>

class QApplication;

namespace tqv {

inline const QColor kPanelFront{255, 255, 204};
inline const QColor kPanelFeet{34, 34, 34};
inline const QColor kPanelInk{80, 80, 80};

QIcon app_icon();
// The system's default font, falling back to a Japanese face for the characters it lacks.
// Without it fontconfig may pick a Chinese face, whose forms of the same characters
// differ from what the operators read.
void use_japanese_font(QApplication& app);
// The font above and Qt's own Japanese translations ("qtbase_ja" from Qt's translations
// folder), whatever the system's language: the operators read Japanese, and a question
// answered with "Yes"/"No" beside Japanese texts is a question misread. False when the
// translations are not installed (the texts of Qt's own then stay English).
bool use_japanese(QApplication& app);

}  // namespace tqv
