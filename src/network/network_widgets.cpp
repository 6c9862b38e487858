#include "network/network_widgets.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "app/model_dialog.h"
#include "core/commands.h"
#include "core/texts.h"

namespace tqv {

QLineEdit* make_address_field(const QString& accessible_name, QWidget* parent) {
    auto* field = new QLineEdit(parent);
    field->setAccessibleName(accessible_name);
    // A validator rather than an input mask: the operator types "10.0.0.254" as he reads
    // it, and a partial address stays editable while he types.
    static const QRegularExpression kAddress(
        QStringLiteral("(?:(?:25[0-5]|2[0-4]\\d|1\\d\\d|0?\\d?\\d)\\.){3}(?:25[0-5]|2[0-4]\\d|"
                       "1\\d\\d|0?\\d?\\d)"));
    field->setValidator(new QRegularExpressionValidator(kAddress, field));
    field->setMaxLength(15);
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
    auto* group_layout = new QVBoxLayout(group);
    group_layout->addWidget(out.list);
    group_layout->addStretch(1);

    out.buttons = new QVBoxLayout;
    auto* layout = new QHBoxLayout(dialog);
    layout->addWidget(group, 1);
    layout->addLayout(out.buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return out;
}

}  // namespace tqv
