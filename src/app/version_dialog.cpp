#include "app/version_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/appearance.h"

namespace tqv {

VersionDialog::VersionDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QStringLiteral("TQV7310NXのﾊﾞｰｼﾞｮﾝ情報")) {
    auto* icon = new QLabel(this);
    icon->setPixmap(app_icon().pixmap(32, 32));
    auto* text = new QLabel(QStringLiteral("TQV7310NX Version 1.32"), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The caption keeps its half-width katakana unless a peer is selected.
    run_opening_steps({.receives_answers = true, .peer_caption = "TQV7310NXのバージョン情報 "});
}

}  // namespace tqv
