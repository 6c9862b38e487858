#include "glyphs/glyph_insert_dialog.h"

namespace tqv {

GlyphInsertDialog::GlyphInsertDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("外字挿入")) {}

}  // namespace tqv
