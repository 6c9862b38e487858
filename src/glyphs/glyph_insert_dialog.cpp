#include "glyphs/glyph_insert_dialog.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/commands.h"
#include "core/digits.h"
#include "core/texts.h"

namespace tqv {

namespace {

QStringList numbered_from_one(int count) {
    QStringList items;
    for (int n = 1; n <= count; ++n) items << QString::fromStdString(two_digits(n));
    return items;
}

QStringList title_line_items() {
    QStringList items;
    for (const char* name : kTitleLineNames) items << QString::fromUtf8(name);
    return items;
}

}  // namespace

GlyphInsertDialog::GlyphInsertDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QStringLiteral("外字挿入")) {
    // Title line and page are shared with the title dialogs, so the title being worked on
    // is already chosen here, and a choice made here carries back to them.
    auto* choices = new QGridLayout;
    choices->addWidget(choice_group(QStringLiteral("Channel Number"), title_line_items(),
                                    &Model::selected_title_line, line_list_),
                       0, 0);
    choices->addWidget(choice_group(QStringLiteral("Page Number"), page_items(),
                                    &Model::selected_page, page_list_),
                       0, 1);
    choices->addWidget(choice_group(QString::fromUtf8(text::kGlyphNumber),
                                    numbered_from_one(kInsertableGlyphs), &Model::glyph_index,
                                    glyph_list_),
                       1, 0);
    choices->addWidget(choice_group(QStringLiteral("挿入位置"), numbered_from_one(kPositions),
                                    &Model::insert_position, position_list_),
                       1, 1);

    set_button_ = make_set_button(QStringLiteral("外字挿入"), QStringLiteral("設定"), this);
    connect(set_button_, &QPushButton::clicked, this,
            [this] { send_glyph_insert(context_.link.send_path()); });
    update_set_button();

    // The one "設定" acts on all four choices: beside them, apart from Close.
    choices->addWidget(set_button_, 0, 2, 2, 1, Qt::AlignVCenter);

    // Enter ends the dialog as Close does; it never sends an insertion by accident, since
    // the device's title changes at once and the program's copy would not show it.
    QHBoxLayout* bottom = address_and_close_row(/*close_is_default=*/true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(choices);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    run_opening_steps({.receives_answers = true, .peer_caption = "外字挿入 "});
}

QGroupBox* GlyphInsertDialog::choice_group(const QString& caption, const QStringList& items,
                                           int Model::*member, QComboBox*& list) {
    auto* group = new QGroupBox(caption, this);
    list = make_list(caption, items, model_.*member, group);
    auto* row = new QHBoxLayout(group);
    row->addWidget(list);
    connect(list, &QComboBox::currentIndexChanged, this, [this, member](int index) {
        if (index >= 0) model_.*member = index;
        update_set_button();
    });
    return group;
}

void GlyphInsertDialog::update_set_button() {
    // A value no list can show (a glyph number beyond 28 chosen in the glyph list, say)
    // would go to the device unseen: nothing is sent until every list shows a choice.
    if (set_button_ == nullptr) return;
    bool complete = true;
    for (QComboBox* list : {line_list_, page_list_, glyph_list_, position_list_})
        complete = complete && list->currentIndex() >= 0;
    set_button_->setEnabled(complete);
}

}  // namespace tqv
