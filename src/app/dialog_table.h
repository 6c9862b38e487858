// Which dialog each menu command opens: one table for the settings, glyph and network
// dialogs, so the main window, the screenshots and the tests build them the same way.
#pragma once

#include <QDialog>
#include <memory>

#include "dialogs/app_context.h"

namespace tqv {

// True when a dialog serves the menu command.
bool has_dialog(int command);
// The dialog for the command, parented to `parent`; nullptr when no dialog serves it.
std::unique_ptr<QDialog> make_dialog(int command, AppContext& context, QWidget* parent);

}  // namespace tqv
