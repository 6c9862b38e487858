// Controls the network dialogs share: the dotted address field, the five-character port
// field, and the layout of the small dialogs that offer one list and a few buttons.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

#include "core/model.h"
#include "core/ui.h"

class QComboBox;
class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace tqv {

struct AppContext;

// An IPv4 address edit: four groups of one to three digits, each at most 255, separated
// by dots ("192.168.1.3" or "192.168.001.003"). What is typed stays as typed.
QLineEdit* make_address_field(const QString& accessible_name, QWidget* parent);
// The field's address; nullopt (after the warning box) while it is incomplete, so that
// no malformed address reaches the model, the configuration file or the device.
std::optional<Ipv4> read_address(const QLineEdit* field, Ui& ui);

// A TCP port as five characters ("09004"): digits only, at most five, centred.
QLineEdit* make_port_field(const QString& accessible_name, QWidget* parent);
// The field's port 1..65535; nullopt (after the warning box) for anything else.
std::optional<int> read_port(const QLineEdit* field, Ui& ui);
// The program's own port field: only a port 1..65535 reaches `port_number`, so the model
// and the configuration file never hold another.
void take_port_text(Model& m, const QString& text);
// Before a dialog with the port field closes: a field holding no port 1..65535 is refused
// with the warning box and the dialog must stay open (false), so the operator corrects it;
// otherwise the field's port is taken and written to the configuration file.
bool port_may_close(const QLineEdit* field, AppContext& context);


// The small choice dialogs: one captioned group holding one list on the left, the
// buttons stacked on the right. The list is named after the group.
struct ChoiceLayout {
    QComboBox* list = nullptr;
    QVBoxLayout* buttons = nullptr;
    QVBoxLayout* group = nullptr;  // the list's group; notes go under the list
};
ChoiceLayout lay_out_choice(QDialog* dialog, const QString& caption, const QStringList& items,
                            int selected);
// A line of text under the list, read with it by screen readers (`description` says what it
// is).
QLabel* add_choice_note(const ChoiceLayout& choice, const QString& text, const QString& description);
// The interface and role lists while a TCP link is up: disabled, with no selection, and a
// note that says why and how to change them. Null when the list is free.
QLabel* lock_while_connected(const ChoiceLayout& choice, const Model& m);

}  // namespace tqv
