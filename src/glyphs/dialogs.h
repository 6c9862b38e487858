// The dialogs of this folder as the main window opens them by menu command.
#pragma once

#include <QDialog>
#include <memory>

#include "app/app_context.h"

namespace tqv::glyphs {

// True when this build has a dialog for the menu command.
bool has_dialog(int command);
// The dialog for the command, parented to the main window; nullptr when it has none.
std::unique_ptr<QDialog> make_dialog(int command, AppContext& context, QWidget* parent);

}  // namespace tqv::glyphs
