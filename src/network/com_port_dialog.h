// "通RS-232Cの設定" (the caption the operators know): which serial port the link uses.
// COM 1..COM 6 stay the first six items, so the `com_port` key keeps its meaning; every
// other port the system has (USB adapters, ptys) follows and is stored as `com_device`, then
// the ports this run has used (the simulated device's among them); any other path can be
// typed. Only OK stores the choice, and on RS-232C the port is opened again at once.
#pragma once

#include <QString>
#include <vector>

#include "dialogs/model_dialog.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace tqv {

// A serial port the system reports, as the list shows it.
struct FoundPort {
    QString path;         // "/dev/ttyUSB0"
    QString description;  // "FT232R USB UART"; may be empty
    int vendor = -1;      // USB ids, -1 when not a USB device
    int product = -1;
};
// The ports QSerialPortInfo finds now.
std::vector<FoundPort> found_serial_ports();

class ComPortDialog : public ModelDialog {
    Q_OBJECT
  public:
    ComPortDialog(AppContext& context, QWidget* parent,
                  const std::vector<FoundPort>& found = found_serial_ports());

    QComboBox* com_port_list() const { return list_; }
    // The device path of item `index` of the list.
    QString path_of(int index) const;
    // The path OK takes: the chosen item's, or the one typed into the list.
    QString chosen_path() const;
    // "使用中: /dev/ttyUSB0 (オープン)" and when a change takes effect.
    QLabel* in_use_label() const { return in_use_; }
    QPushButton* ok_button() const { return ok_; }
    QPushButton* close_button() const { return close_; }

  private:
    void store_choice();
    void show_in_use();

    QComboBox* list_ = nullptr;
    QLabel* in_use_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace tqv
