#include "network/network_widgets.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "dialogs/app_context.h"
#include "dialogs/model_dialog.h"
#include "core/config.h"
#include "core/commands.h"
#include "core/texts.h"

namespace tqv {

QLineEdit* make_address_field(const QString& accessible_name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setAccessibleName(accessible_name);
    // No validator and no length limit: either would silently drop what the operator typed
    // or pasted ("999" kept as "99"). The address is checked when it is used, and a wrong
    // one is refused with a message while the field keeps the text.
    field->setAlignment(Qt::AlignCenter);
    // Room for "000.000.000.000" in the widest digits of the font.
    field->setMinimumWidth(
        field->fontMetrics().horizontalAdvance(QStringLiteral("0000.0000.0000.0000")));
    return field;
}

std::optional<Ipv4> read_address(const QLineEdit* field, Ui& ui) {
    auto address = parse_address(field->text().toStdString());
    if (!address) warning_box(ui, text::kAddressInvalid);
    return address;
}

std::optional<int> read_port(const QLineEdit* field, Ui& ui) {
    auto port = parse_port(field->text().toStdString());
    if (!port) warning_box(ui, text::kPortInvalid);
    return port;
}

void take_port_text(Model& m, const QString& text) {
    const std::string typed = text.toStdString();
    if (parse_port(typed)) set_slot_text(m.port_number, typed);
}

bool port_may_close(const QLineEdit* field, AppContext& context) {
    // A prefix of what was typed ("7000" of "70000") may be in the model by now: only the
    // whole text counts.
    if (!read_port(field, context.ui())) return false;
    take_port_text(context.model, field->text());
    if (context.config != nullptr) write_port_number(context.model, *context.config);
    return true;
}

QLineEdit* make_port_field(const QString& accessible_name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setAccessibleName(accessible_name);
    field->setMaxLength(5);
    static const QRegularExpression kPort(QStringLiteral("\\d{0,5}"));
    field->setValidator(new QRegularExpressionValidator(kPort, field));
    field->setAlignment(Qt::AlignCenter);
    field->setMinimumWidth(field->fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
    return field;
}

ChoiceLayout lay_out_choice(QDialog* dialog, const QString& caption, const QStringList& items,
                            int selected) {
    auto* group = new QGroupBox(caption, dialog);
    ChoiceLayout out;
    out.list = make_list(caption, items, selected, group);
    out.list->setMinimumContentsLength(10);
    out.group = new QVBoxLayout(group);
    out.group->addWidget(out.list);
    out.group->addStretch(1);

    out.buttons = new QVBoxLayout;
    auto* layout = new QHBoxLayout(dialog);
    layout->addWidget(group, 1);
    layout->addLayout(out.buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return out;
}

QLabel* add_choice_note(const ChoiceLayout& choice, const QString& text, const QString& description) {
    auto* note = new QLabel(text, choice.list->parentWidget());
    note->setAccessibleDescription(description);
    note->setWordWrap(true);
    // Under the list and any note before it, above the stretch.
    choice.group->insertWidget(choice.group->count() - 1, note);
    return note;
}

QLabel* lock_while_connected(const ChoiceLayout& choice, const Model& m) {
    // Switching under a live connection would strand it. A link that has gone (or is only
    // being tried again) holds nothing: the lists are free then.
    if (m.tcp_connected != 1) return nullptr;
    choice.list->setCurrentIndex(-1);
    choice.list->setEnabled(false);
    return add_choice_note(choice, QString::fromUtf8(text::kLockedWhileConnected),
                           QString::fromUtf8("変更できない理由"));
}

}  // namespace tqv
