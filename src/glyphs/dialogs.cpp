#include "glyphs/dialogs.h"

#include "app/menu_commands.h"
#include "glyphs/glyph_list_dialog.h"
#include "glyphs/glyph_editor_dialog.h"
#include "glyphs/glyph_insert_dialog.h"

namespace tqv::glyphs {

bool has_dialog(int command) {
    switch (command) {
        case command::kGlyphList:
            return GlyphListDialog::kBuilt;
        case command::kGlyphEditor:
            return GlyphEditorDialog::kBuilt;
        case command::kGlyphInsert:
            return GlyphInsertDialog::kBuilt;
        default:
            return false;
    }
}

std::unique_ptr<QDialog> make_dialog(int command, AppContext& context, QWidget* parent) {
    if (!has_dialog(command)) return nullptr;
    switch (command) {
        case command::kGlyphList:
            return std::make_unique<GlyphListDialog>(context, parent);
        case command::kGlyphEditor:
            return std::make_unique<GlyphEditorDialog>(context, parent);
        case command::kGlyphInsert:
            return std::make_unique<GlyphInsertDialog>(context, parent);
        default:
            return nullptr;
    }
}

}  // namespace tqv::glyphs
