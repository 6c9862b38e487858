#include "dialogs/page_list_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace tqv {

PageListDialog::PageListDialog(AppContext& context, QWidget* parent, const QString& caption,
                               const char* peer_caption, PageArray Model::*pages, Sender send,
                               const QStringList& items)
    : ModelDialog(context, parent, caption) {
    auto* grid = new QGridLayout;
    for (int line = 0; line < kTitleLines; ++line) {
        auto* group = new QGroupBox(QString::fromUtf8(kTitleLineGroups[line]), this);
        auto* list = make_list(group->title(), items, (model_.*pages)[line], group);
        auto* button = make_set_button(group->title(), QStringLiteral("設定"), group);
        auto* row = new QHBoxLayout(group);
        row->addWidget(list, 1);
        row->addWidget(button);
        // ch.1 on the left, ch.2 on the right; top lines above bottom lines.
        grid->addWidget(group, line % 2, line / 2);

        connect(list, &QComboBox::currentIndexChanged, this, [this, pages, line](int index) {
            if (index < 0) return;
            int& value = (model_.*pages)[line];
            if (value == index) return;
            value = index;
            mark_document_edited();
        });
        connect(button, &QPushButton::clicked, this,
                [this, send, line] { send(context_.link.send_path(), line); });
        page_lists_[line] = list;
        set_buttons_[line] = button;
    }

    QHBoxLayout* bottom = address_and_close_row();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    run_opening_steps({.receives_answers = true, .peer_caption = peer_caption});
}

}  // namespace tqv
