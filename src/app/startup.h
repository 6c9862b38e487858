// The start of a run: where the configuration file lives and the order in which the model
// and the link are brought up.
#pragma once

#include <QString>

#include "core/model.h"
#include "link/device_link.h"

namespace tqv {

// $XDG_CONFIG_HOME/tqv7310nx/tqv7310nx.ini (~/.config/tqv7310nx/ by default).
QString configuration_path();

// Peer table emptied, model reset, no TCP connection, configuration read from `ini_path`
// (defaults for a missing file or key). The directory is created so that the dialogs can
// write their keys later.
void start_model(Model& model, DeviceLink& link, const QString& ini_path);

}  // namespace tqv
