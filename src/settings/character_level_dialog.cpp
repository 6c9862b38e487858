#include "settings/character_level_dialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/commands.h"

namespace tqv {

namespace {

// The device knows four steps per level; the item text is the step itself.
const QStringList kLevelItems = {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("2"),
                                 QStringLiteral("3")};

}  // namespace

CharacterLevelDialog::CharacterLevelDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QStringLiteral("文字レベルの設定")) {
    auto* levels = new QHBoxLayout;
    levels->addWidget(level_group(QStringLiteral("White Level"), &Model::white_level,
                                  &send_white_level, white_list_, white_button_));
    levels->addWidget(level_group(QStringLiteral("Edge Level"), &Model::edge_level,
                                  &send_edge_level, edge_list_, edge_button_));

    QHBoxLayout* bottom = address_and_close_row();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(levels);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    run_opening_steps({.receives_answers = true, .peer_caption = "文字レベルの設定 "});
}

QGroupBox* CharacterLevelDialog::level_group(const QString& caption, int Model::*level,
                                             void (*send)(SendPath&), QComboBox*& list,
                                             QPushButton*& button) {
    auto* group = new QGroupBox(caption, this);
    list = make_list(caption, kLevelItems, model_.*level, group);
    button = make_set_button(caption, QStringLiteral("設定"), group);
    auto* row = new QHBoxLayout(group);
    row->addWidget(list, 1);
    row->addWidget(button);

    connect(list, &QComboBox::currentIndexChanged, this, [this, level](int index) {
        if (index < 0 || model_.*level == index) return;
        model_.*level = index;
        // The levels are saved in the settings document: a change must not be lost silently.
        mark_document_edited();
    });
    connect(button, &QPushButton::clicked, this, [this, send] { send(context_.link.send_path()); });
    return group;
}

}  // namespace tqv
