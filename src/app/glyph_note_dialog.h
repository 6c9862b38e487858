// "外字について": where custom glyphs are kept, and when not to work on them.
#pragma once

#include "dialogs/model_dialog.h"

namespace tqv {

class GlyphNoteDialog : public ModelDialog {
    Q_OBJECT
  public:
    GlyphNoteDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
