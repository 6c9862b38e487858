#include "app/glyph_note_dialog.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tqv {

GlyphNoteDialog::GlyphNoteDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QStringLiteral("外字について")) {
    auto* layout = new QVBoxLayout(this);
    for (const char* line :
         {"外字1文字ずつの場合の拡張子は､TXTです。", "外字一覧の場合の拡張子は､TLLです。",
          "※外字操作は､自動切換え時に行わないでください。"}) {
        layout->addWidget(new QLabel(QString::fromUtf8(line), this));
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // No buttons: the close box or Escape ends it. It never talks to the device, so it
    // leaves the answer window and the address prefix as they are.
    run_opening_steps({.receives_answers = false});
}

}  // namespace tqv
