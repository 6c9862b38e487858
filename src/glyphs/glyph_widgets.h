// Small pieces the glyph dialogs share.
#pragma once

#include <QString>

class QPushButton;
class QWidget;

namespace tqv::glyphs {

// A push button named for assistive technology by its caption, never the default button,
// so that Enter in an edit box sends nothing by accident.
QPushButton* make_button(const QString& caption, QWidget* parent);

}  // namespace tqv::glyphs
