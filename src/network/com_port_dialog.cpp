#include "network/com_port_dialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QAbstractItemView>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QVBoxLayout>

#include "core/config.h"
#include "network/network_widgets.h"

namespace tqv {

namespace {

QString described(const FoundPort& port) {
    QString text = port.description;
    if (port.vendor >= 0 && port.product >= 0) {
        text += QStringLiteral(" (%1:%2)")
                    .arg(port.vendor, 4, 16, QLatin1Char('0'))
                    .arg(port.product, 4, 16, QLatin1Char('0'));
    }
    return text.trimmed();
}

}  // namespace

std::vector<FoundPort> found_serial_ports() {
    std::vector<FoundPort> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        out.push_back({info.systemLocation(), info.description(),
                       info.hasVendorIdentifier() ? int(info.vendorIdentifier()) : -1,
                       info.hasProductIdentifier() ? int(info.productIdentifier()) : -1});
    }
    return out;
}

ComPortDialog::ComPortDialog(AppContext& context, QWidget* parent,
                             const std::vector<FoundPort>& found)
    : ModelDialog(context, parent, QString::fromUtf8("通RS-232Cの設定")) {
    // Item texts with each item's device path beside them.
    QStringList items;
    QStringList paths;
    auto add = [&](const QString& text, const QString& path) {
        items << text;
        paths << path;
    };
    for (int port = 0; port < kComPorts; ++port) {
        const QString path = SerialLink::port_path(port);
        QString text = QStringLiteral("COM %1").arg(port + 1);
        for (const FoundPort& f : found) {
            if (f.path == path && !described(f).isEmpty()) text += QStringLiteral("  ") + described(f);
        }
        add(text, path);
    }
    for (const FoundPort& f : found) {
        if (!paths.contains(f.path)) add((f.path + QStringLiteral("  ") + described(f)).trimmed(), f.path);
    }
    // The ports this run has had stay within reach, so that a failed choice is never a way
    // of no return: the simulated device's, the one open now, the ones that opened before
    // (a socat pseudo-terminal is listed by no system query).
    const SerialLink& serial = context_.link.serial();
    const QString simulated = context_.link.simulated_port();
    QStringList used = serial.opened_paths();
    if (!simulated.isEmpty()) used.prepend(simulated);
    for (const QString& path : used) {
        if (paths.contains(path)) continue;
        const QString note = path == simulated ? QString::fromUtf8("シミュレーター")
                             : path == serial.path() ? QString::fromUtf8("使用中")
                                                     : QString::fromUtf8("この起動で使用");
        add(path + QStringLiteral("  ") + note, path);
    }
    // A configured device that is not plugged in now is still the operator's choice.
    const QString device = QString::fromStdString(model_.com_device);
    if (!device.isEmpty() && !paths.contains(device)) {
        add(QFileInfo::exists(device) ? device : device + QString::fromUtf8("  (見つかりません)"),
            device);
    }

    const int selected = device.isEmpty() ? model_.com_port_index : int(paths.indexOf(device));
    auto choice = lay_out_choice(this, QStringLiteral("COM Port"), items, selected);
    list_ = choice.list;
    for (int i = 0; i < paths.size(); ++i) list_->setItemData(i, paths[i]);
    // Any other device path may be typed (a USB adapter not yet listed, a pseudo-terminal).
    list_->setEditable(true);
    list_->setInsertPolicy(QComboBox::NoInsert);
    list_->lineEdit()->setAccessibleName(list_->accessibleName());
    list_->view()->setAccessibleName(list_->accessibleName());
    list_->setMinimumContentsLength(28);
    in_use_ = add_choice_note(choice, {}, QString::fromUtf8("使用中のポート"));
    show_in_use();

    ok_ = make_button(QStringLiteral("OK"), this, true);
    close_ = make_button(QStringLiteral("Close"), this);
    choice.buttons->addWidget(ok_);
    choice.buttons->addWidget(close_);
    choice.buttons->addStretch(1);

    connect(ok_, &QPushButton::clicked, this, [this] {
        store_choice();
        accept();
    });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    run_opening_steps({.receives_answers = true});
}

QString ComPortDialog::path_of(int index) const { return list_->itemData(index).toString(); }

QString ComPortDialog::chosen_path() const {
    const QString text = list_->currentText().trimmed();
    const int index = list_->currentIndex();
    if (index >= 0 && text == list_->itemText(index)) return path_of(index);
    return text;  // typed
}

void ComPortDialog::show_in_use() {
    const SerialLink& serial = context_.link.serial();
    QString path = serial.last_path();
    if (path.isEmpty()) path = QString::fromStdString(model_.com_device);
    if (path.isEmpty()) path = SerialLink::port_path(model_.com_port_index);
    const QString state = serial.is_open() ? QString::fromUtf8("オープン") : QString::fromUtf8("未接続");
    const QString when = model_.interface_kind == 0
                             ? QString::fromUtf8("OK で直ちに開き直します。")
                             : QString::fromUtf8("RS-232C に切り替えて次に起動したときに使います。");
    in_use_->setText(QString::fromUtf8("使用中: %1 (%2)\n%3").arg(path, state, when));
}

void ComPortDialog::store_choice() {
    const QString path = chosen_path();
    if (path.isEmpty()) return;
    int index = -1;
    for (int port = 0; port < kComPorts; ++port) {
        if (SerialLink::port_path(port) == path) index = port;
    }
    if (index >= 0) {
        // COM 1..6: the key the Windows installations know; no device path overrides it.
        model_.com_port_index = index;
        model_.com_device.clear();
    } else {
        model_.com_device = path.toStdString();
    }
    // The simulated device's port lives as long as this run: like --simulate itself, it is
    // used without being written to the configuration.
    const bool for_this_run = path == context_.link.simulated_port();
    if (context_.config != nullptr && !for_this_run) {
        if (index >= 0) write_com_port(model_, *context_.config);
        write_com_device(model_, *context_.config);
    }
    if (model_.interface_kind == 0) context_.link.open_serial();
}

}  // namespace tqv
