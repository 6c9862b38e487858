#include "network/dialogs.h"

#include "app/menu_commands.h"

namespace tqv::network {

bool has_dialog(int /*command*/) { return false; }

std::unique_ptr<QDialog> make_dialog(int /*command*/, AppContext& /*context*/,
                                     QWidget* /*parent*/) {
    return nullptr;
}

}  // namespace tqv::network
