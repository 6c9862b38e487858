// Readable forms of what the tool reads: a settings document, and the device's network
// values after "network show".
#pragma once

#include <string>

#include "core/model.h"

namespace tqv::cli {

// The device settings block as UTF-8 text: levels, then per title line its pages and all
// 64 pages with display flag, switching time and title.
std::string document_text(const Model& m);

// The nine values of the device network read, one per line, in the order they are read.
std::string network_text(const Model& m);

}  // namespace tqv::cli
