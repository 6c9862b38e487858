// Pictures of the main window and the page switch dialog for the documentation, taken from
// the program's own widgets.
#pragma once

#include <QString>

namespace tqv {

// Writes main_window.png and page_switch_dialog.png into `directory`; false (with `error`
// set) when a file cannot be written.
bool save_screenshots(const QString& directory, QString* error);

}  // namespace tqv
