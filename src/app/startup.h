// The start of a run: where the configuration file lives and the order in which the model
// and the link are brought up.
#pragma once

#include <QString>

#include "core/model.h"
#include "core/ui.h"
#include "link/device_link.h"

namespace tqv {

// $XDG_CONFIG_HOME/tqv7310nx/tqv7310nx.ini (~/.config/tqv7310nx/ by default).
QString configuration_path();

// Peer table emptied, model reset, no TCP connection, configuration read from `ini_path`
// (defaults for a missing file or key). The directory is created so that the dialogs can
// write their keys later.
void start_model(Model& model, DeviceLink& link, const QString& ini_path);

// A file named on the command line (a double click in the file manager): a glyph list when
// it ends in ".tll" (any case), a settings document otherwise. It is read into the model as
// the open commands read it; one that cannot be read gets their warning box, with the
// file's path on a second line, and leaves the model as it was (none).
// Whether a file named on the command line or handed over is a glyph list (".tll", any case).
bool names_glyph_list(const QString& path);
enum class StartFile { none, document, glyph_list };
StartFile open_start_file(Model& model, Ui& ui, const QString& path);

}  // namespace tqv
