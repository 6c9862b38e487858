#include "glyphs/glyph_editor_dialog.h"

namespace tqv {

GlyphEditorDialog::GlyphEditorDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("外字登録")) {}

}  // namespace tqv
