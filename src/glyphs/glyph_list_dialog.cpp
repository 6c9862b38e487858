#include "glyphs/glyph_list_dialog.h"

namespace tqv {

GlyphListDialog::GlyphListDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("外字一覧（大文字）")) {}

}  // namespace tqv
