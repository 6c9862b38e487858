#include "settings/title_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QInputMethod>
#include <QLabel>
#include <QTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "core/commands.h"
#include "core/digits.h"
#include "core/texts.h"
#include "core/vocabulary.h"
#include "dialogs/dialog_parts.h"
#include "settings/title_text.h"

namespace tqv {

TitleDialog::TitleDialog(AppContext& context, QWidget* parent)
    : BulkDialog(context, parent, QStringLiteral("タイトル設定"), BulkKind::titles_store) {
    const int line = std::clamp(model_.selected_title_line, 0, kTitleLines - 1);
    const int page = std::clamp(model_.selected_page, 0, kPages - 1);
    model_.selected_title_line = line;
    model_.selected_page = page;

    cells_ = new PageCells(
        16,
        [this](int p) {
            const TitleSlot& slot = model_.title(model_.selected_title_line, p);
            return QStringLiteral("Page") + QString::fromStdString(two_digits(p + 1)) +
                   QStringLiteral("=") + title_cell_text(slot_text(slot));
        },
        QStringLiteral("Page00=") + QString(kTitleMaxBytes / 2, QChar(0x3000)), this);

    QStringList line_names;
    for (const char* name : kTitleLineNames) line_names << QString::fromUtf8(name);
    line_list_ = make_list(QStringLiteral("Channel Number"), line_names, line, this);
    page_list_ = make_list(QStringLiteral("Page Number"), page_items(), page, this);

    title_edit_ = new QLineEdit(this);
    title_edit_->setAccessibleName(QStringLiteral("Title"));
    title_edit_->setAttribute(Qt::WA_InputMethodEnabled, true);
    // Why an edit was not taken whole; empty until then.
    title_note_ = new QLabel(this);
    title_note_->setAccessibleName(QStringLiteral("Title Note"));
    title_note_->setWordWrap(true);
    title_edit_->setMinimumWidth(
        title_edit_->fontMetrics().horizontalAdvance(QStringLiteral("あ")) * 15);

    QGroupBox* address = slave_address_group();

    const QString title = QStringLiteral("タイトル");
    set_button_ = make_set_button(title, QStringLiteral("設定"), this);
    not_memory_button_ = make_set_button(title, QStringLiteral("Not Memory"), this);
    set_all_button_ = make_set_button(title, QStringLiteral("全設定"), this);
    not_memory_all_button_ = make_set_button(title, QStringLiteral("NM全設定"), this);

    // --- layout: the cells on the left, the controls on the right ---
    auto* lists = new QHBoxLayout;
    lists->addWidget(captioned(QStringLiteral("Channel Number"), line_list_, this));
    lists->addWidget(captioned(QStringLiteral("Page Number"), page_list_, this));
    lists->addWidget(address);

    auto* buttons = new QGridLayout;
    buttons->addWidget(set_button_, 0, 0);
    buttons->addWidget(set_all_button_, 0, 1);
    buttons->addWidget(not_memory_button_, 1, 0);
    buttons->addWidget(not_memory_all_button_, 1, 1);

    auto* progress = new QHBoxLayout;
    progress->addWidget(bulk().progress_bar(), 1);
    progress->addWidget(bulk().percent_row());
    progress->addWidget(bulk().fast_box());
    progress->addWidget(bulk().stop_button());

    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(bulk().close_button());

    auto* controls = new QVBoxLayout;
    controls->addLayout(lists);
    controls->addWidget(captioned(QStringLiteral("Title"), title_edit_, this));
    controls->addWidget(title_note_);
    controls->addLayout(buttons);
    controls->addLayout(progress);
    controls->addStretch(1);
    controls->addLayout(bottom);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(cells_, 0, Qt::AlignTop);
    layout->addSpacing(8);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // Tab walks the controls as they are read: the lists row, the title, the buttons row by
    // row, Close.
    QWidget* const order[] = {
        line_list_,           page_list_,      slave_address_list(), title_edit_,
        set_button_,          set_all_button_, not_memory_button_,   not_memory_all_button_,
        bulk().fast_box(),    bulk().close_button()};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

    // --- behaviour ---
    follow_line_and_page(line_list_, page_list_, [this] { show_title(); });
    // Every change of the field's text, typed, pasted, set by a program or by assistive
    // technology, takes the same way into the slot; the dialog's own showing of a title is
    // no change of it.
    connect(title_edit_, &QLineEdit::textChanged, this, &TitleDialog::title_changed);
    SendPath& path = context_.link.send_path();
    connect(set_button_, &QPushButton::clicked, this, [&path] { send_title_single(path, 1); });
    connect(not_memory_button_, &QPushButton::clicked, this,
            [&path] { send_title_single(path, 0); });
    connect(set_all_button_, &QPushButton::clicked, this,
            [this] { bulk().start(BulkKind::titles_store); });
    connect(not_memory_all_button_, &QPushButton::clicked, this,
            [this] { bulk().start(BulkKind::titles_no_memory); });

    show_title();
    run_opening_steps({.receives_answers = true, .peer_caption = "タイトルの設定 "});
}

TitleSlot& TitleDialog::current_slot() {
    return model_.title(std::clamp(model_.selected_title_line, 0, kTitleLines - 1),
                        std::clamp(model_.selected_page, 0, kPages - 1));
}

void TitleDialog::show_title() {
    shown_title_ = title_edit_text(slot_text(current_slot()));
    title_edit_->setText(shown_title_);
    title_note_->clear();
    cells_->show_group(model_.selected_page);
}

void TitleDialog::title_changed(const QString& text) {
    // The title the dialog put there, or the field set back to what it holds.
    if (text == shown_title_) return;
    TitleSlot& slot = current_slot();
    // A paste or an input method commit that does not fit keeps what fits, and says so,
    // rather than being refused whole.
    const TitleFit fit = fit_title_edit(shown_title_, text, kTitleMaxBytes);
    const auto bytes = title_slot_bytes(fit.text);
    if (!bytes || bytes->size() >= slot.size()) {
        // What was kept always fits; should it not, the field goes back to the title as
        // stored rather than storing something else.
        show_title();
        return;
    }
    shown_title_ = fit.text;
    if (fit.text != text) {
        title_edit_->setText(fit.text);  // comes back here as the text shown: nothing to do
        title_edit_->setCursorPosition(fit.cursor);
    }
    // Said as a refusal of a remote title says it: the characters and the limit.
    TitleCheck refused;
    refused.unsendable = fit.unsendable;
    refused.characters = fit.cut ? fit.characters : 0;
    title_note_->setText(QString::fromStdString(title_refusal(refused, Language::japanese)));
    if (slot_text(slot) == *bytes) return;
    set_slot_text(slot, *bytes);
    mark_document_edited();
    cells_->show_group(model_.selected_page);
}

void TitleDialog::showEvent(QShowEvent* event) {
    BulkDialog::showEvent(event);
    if (ime_saved_) return;
    // Titles are typed in Japanese: the input method is switched on while the dialog is
    // open and put back as it was when it closes.
    QInputMethod* ime = QGuiApplication::inputMethod();
    saved_ime_open_ = ime->isVisible();
    ime_saved_ = true;
    title_edit_->setFocus();
    ime->show();
    // The first focus of a dialog selects the whole field, and the operator's first key
    // would then wipe the title out: start with the cursor after the text instead.
    QTimer::singleShot(0, title_edit_, [edit = title_edit_] {
        edit->deselect();
        edit->end(false);
    });
}

void TitleDialog::reject() {
    if (bulk_busy()) return;
    if (ime_saved_ && !saved_ime_open_) QGuiApplication::inputMethod()->hide();
    BulkDialog::reject();
}

}  // namespace tqv
