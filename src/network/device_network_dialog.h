// "プロトコル": the device's own network values. Each row's 設定 writes one value into the
// device; 読み込み reads them all back in a paced sequence and shows them. Everything goes
// over the serial line without a slave address in front.
#pragma once

#include <QTimer>
#include <string>

#include "dialogs/model_dialog.h"
#include "dialogs/bulk_runner.h"

class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tqv {

class DeviceNetworkDialog : public ModelDialog {
    Q_OBJECT
  public:
    DeviceNetworkDialog(AppContext& context, QWidget* parent);
    ~DeviceNetworkDialog() override;

    enum AddressRow { kIpAddress, kGatewayAddress, kActiveAddress, kAddressRows };

    QLineEdit* address_field(int row) const { return address_fields_[row]; }
    QPushButton* address_set_button(int row) const { return address_buttons_[row]; }
    QComboBox* subnet_list() const { return subnet_; }
    QPushButton* subnet_set_button() const { return subnet_set_; }
    QLineEdit* port_field() const { return port_; }
    QPushButton* port_set_button() const { return port_set_; }
    QComboBox* keep_alive_list() const { return keep_alive_; }
    QPushButton* keep_alive_set_button() const { return keep_alive_set_; }
    QComboBox* time_register_list() const { return time_register_; }
    QPushButton* time_register_set_button() const { return time_register_set_; }
    QLineEdit* mac_field() const { return mac_; }
    QLineEdit* version_field() const { return version_; }
    QProgressBar* progress() { return bulk_.progress_bar(); }
    QPushButton* read_button() const { return read_; }
    QPushButton* close_button() { return bulk_.close_button(); }
    QPushButton* stop_button() { return bulk_.stop_button(); }
    bool reading() const { return bulk_.running(); }

    // One tick of the read sequence (the 200 ms timer calls it).
    void tick() { bulk_.tick(); }

  public slots:
    // Close, Escape and the close box: refused while a read is under way.
    void reject() override;

  private:
    void show_model();
    void set_address(int row);
    void send(const std::string& body);

    QLineEdit* address_fields_[kAddressRows] = {};
    QPushButton* address_buttons_[kAddressRows] = {};
    QComboBox* subnet_ = nullptr;
    QPushButton* subnet_set_ = nullptr;
    QLineEdit* port_ = nullptr;
    QPushButton* port_set_ = nullptr;
    QComboBox* keep_alive_ = nullptr;
    QPushButton* keep_alive_set_ = nullptr;
    QComboBox* time_register_ = nullptr;
    QPushButton* time_register_set_ = nullptr;
    QLineEdit* mac_ = nullptr;
    QLineEdit* version_ = nullptr;
    QPushButton* read_ = nullptr;
    BulkRunner bulk_;
};

}  // namespace tqv
