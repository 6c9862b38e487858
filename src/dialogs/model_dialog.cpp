#include "dialogs/model_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/digits.h"

namespace tqv {

ModelDialog::ModelDialog(AppContext& context, QWidget* parent, const QString& caption)
    : QDialog(parent), context_(context), model_(context.model) {
    setWindowTitle(caption);
    // A fixed dialog: caption and close box only, as the device's operators know them.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    connect(this, &QDialog::finished, this, &ModelDialog::forget_handles);
}

ModelDialog::~ModelDialog() { forget_handles(); }

void ModelDialog::forget_handles() {
    // Answers and boxes arriving later must not be sent to a window that has closed.
    AnswerWindows& w = context_.windows;
    if (w.notify_window == this) w.notify_window = nullptr;
    if (w.message_owner == this) w.message_owner = nullptr;
}

void ModelDialog::run_opening_steps(const OpeningSteps& steps) {
    if (steps.receives_answers) {
        context_.windows.notify_window = this;
        // The dialog is not shown yet, so the active window is the one it opens over.
        QWidget* active = QApplication::activeWindow();
        if (active == nullptr) active = parentWidget() != nullptr ? parentWidget()->window() : this;
        context_.windows.message_owner = active;
    }
    context_.corner_clicks.reset();
    // caption_suffix() is empty when no peer is selected or the index lies outside the peer
    // table (selected_peer doubles as the client role's host index).
    if (steps.peer_caption != nullptr && model_.selected_peer != -1 &&
        !context_.link.tcp().caption_suffix().empty()) {
        setWindowTitle(
            QString::fromUtf8(steps.peer_caption) +
            QString::fromStdString(context_.link.tcp().peer_address(model_.selected_peer)));
    }
}

void ModelDialog::mark_document_edited() {
    model_.document_dirty = 1;
    emit document_edited();
}

QGroupBox* ModelDialog::slave_address_group() {
    auto* group = new QGroupBox(QStringLiteral("Slave Address"), this);
    auto* list =
        make_list(group->title(), slave_address_items(), model_.slave_address_index, group);
    connect(list, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.slave_address_index = index;
    });
    slave_address_list_ = list;
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(list);
    return group;
}

void ModelDialog::follow_line_and_page(QComboBox* lines, QComboBox* pages, std::function<void()> show) {
    connect(lines, &QComboBox::currentIndexChanged, this, [this, show](int index) {
        if (index < 0) return;
        model_.selected_title_line = index;
        show();
    });
    connect(pages, &QComboBox::currentIndexChanged, this, [this, show](int index) {
        if (index < 0) return;
        model_.selected_page = index;
        show();
    });
}

QHBoxLayout* ModelDialog::address_and_close_row(bool close_is_default) {
    QGroupBox* address = slave_address_group();
    QPushButton* close = make_button(QStringLiteral("Close"), this, close_is_default);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(address);
    row->addStretch(1);
    row->addWidget(close, 0, Qt::AlignBottom);
    return row;
}

QComboBox* make_list(const QString& accessible_name, const QStringList& items, int selected,
                     QWidget* parent) {
    auto* list = new QComboBox(parent);
    list->setAccessibleName(accessible_name);
    list->addItems(items);
    list->setMaxVisibleItems(16);
    list->setCurrentIndex(selected >= 0 && selected < items.size() ? selected : -1);
    return list;
}

QStringList slave_address_items() {
    QStringList items;
    for (int i = 0; i < kBroadcastIndex; ++i) items << QString::fromStdString(two_digits(i));
    // The device's operators know the broadcast entry by this spelling.
    items << QStringLiteral("Bloadcast");
    return items;
}

QStringList page_items() {
    QStringList items;
    for (int page = 1; page <= kPages; ++page) items << QString::fromStdString(two_digits(page));
    return items;
}

QStringList page_items_with_auto() { return page_items() << QStringLiteral("AUTO"); }

QPushButton* make_button(const QString& text, QWidget* parent, bool is_default) {
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(is_default);
    button->setDefault(is_default);
    return button;
}

QPushButton* make_set_button(const QString& what, const QString& text, QWidget* parent) {
    QPushButton* button = make_button(text, parent);
    button->setAccessibleName(what + QLatin1Char(' ') + text);
    return button;
}

}  // namespace tqv
