#include "glyphs/glyph_widgets.h"

#include <QPushButton>

namespace tqv::glyphs {

QPushButton* make_button(const QString& caption, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    button->setAccessibleName(caption);
    return button;
}

}  // namespace tqv::glyphs
