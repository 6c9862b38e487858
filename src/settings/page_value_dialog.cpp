#include "settings/page_value_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

#include "core/digits.h"
#include "dialogs/dialog_parts.h"

namespace tqv {

PageValueDialog::PageValueDialog(AppContext& context, QWidget* parent, const Setup& setup)
    : BulkDialog(context, parent, setup.caption, setup.bulk_kind),
      values_(setup.values),
      same_choice_(setup.same_choice) {
    const int line = std::clamp(model_.selected_title_line, 0, kTitleLines - 1);
    const int page = std::clamp(model_.selected_page, 0, kPages - 1);
    model_.selected_title_line = line;
    model_.selected_page = page;

    auto cell_tail = setup.cell_tail;
    cells_ = new PageCells(
        32,
        [this, cell_tail](int p) {
            return QStringLiteral("Page") + QString::fromStdString(two_digits(p + 1)) +
                   cell_tail(value(model_.selected_title_line, p));
        },
        QStringLiteral("Page00") + cell_tail(0), this);

    QStringList line_names;
    for (const char* name : kTitleLineNames) line_names << QString::fromUtf8(name);
    line_list_ = make_list(QStringLiteral("Channel Number"), line_names, line, this);
    page_list_ = make_list(QStringLiteral("Page Number"), page_items(), page, this);
    value_list_ = make_list(setup.value_group, setup.items, value(line, page), this);
    same_list_ = make_list(setup.same_group, setup.items, model_.*same_choice_, this);
    QGroupBox* address = slave_address_group();

    // "タイトル表示", "自動切換え": what both buttons set.
    QString what = setup.caption;
    if (what.endsWith(QStringLiteral("の設定"))) what.chop(3);
    set_button_ = make_set_button(what, QStringLiteral("設定"), this);
    set_all_button_ = make_set_button(what, QStringLiteral("全設定"), this);

    // --- layout: the cells on top, the lists and buttons below ---
    auto* lists = new QGridLayout;
    lists->addWidget(captioned(QStringLiteral("Channel Number"), line_list_, this), 0, 0);
    lists->addWidget(captioned(QStringLiteral("Page Number"), page_list_, this), 0, 1);
    lists->addWidget(address, 0, 2);
    lists->addWidget(captioned(setup.value_group, value_list_, this), 1, 0);
    lists->addWidget(captioned(setup.same_group, same_list_, this), 1, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(set_button_);
    buttons->addWidget(set_all_button_);
    buttons->addStretch(1);
    buttons->addWidget(bulk().close_button());

    auto* controls = new QHBoxLayout;
    controls->addLayout(lists);
    controls->addSpacing(12);
    controls->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(cells_);
    layout->addLayout(controls);
    auto* progress = new QHBoxLayout;
    progress->addWidget(bulk().progress_bar(), 1);
    progress->addWidget(bulk().remaining_label());
    progress->addWidget(bulk().fast_box());
    progress->addWidget(bulk().stop_button());
    layout->addLayout(progress);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // --- behaviour ---
    follow_line_and_page(line_list_, page_list_, [this] { show_page(); });
    connect(value_list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        int& v = value(model_.selected_title_line, model_.selected_page);
        if (v == index) return;
        v = index;
        mark_document_edited();
        cells_->show_group(model_.selected_page);
    });
    // Choosing the item the list already shows applies it to the line as well.
    auto same_value = [this](int index) {
        if (index < 0) return;
        model_.*same_choice_ = index;
        auto& line_values = (model_.*values_)[model_.selected_title_line];
        if (std::any_of(line_values.begin(), line_values.end(),
                        [index](int v) { return v != index; })) {
            line_values.fill(index);
            mark_document_edited();
        }
        show_page();
    };
    connect(same_list_, &QComboBox::currentIndexChanged, this, same_value);
    connect(same_list_, &QComboBox::activated, this, same_value);
    auto send_one = setup.send_one;
    connect(set_button_, &QPushButton::clicked, this,
            [this, send_one] { send_one(context_.link.send_path()); });
    connect(set_all_button_, &QPushButton::clicked, this, [this] { bulk().start(); });

    show_page();
    run_opening_steps({.receives_answers = true, .peer_caption = setup.peer_caption});
}

void PageValueDialog::show_page() {
    // Showing the model's values is no choice of the operator's.
    const QSignalBlocker block(value_list_);
    const int v = value(model_.selected_title_line, model_.selected_page);
    value_list_->setCurrentIndex(v >= 0 && v < value_list_->count() ? v : -1);
    cells_->show_group(model_.selected_page);
}

}  // namespace tqv
