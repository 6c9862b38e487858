// `preview`: a settings document drawn as the device superimposes it, into a PNG picture,
// with no link and no display.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

namespace tqv::cli {

// Loads the document (and the glyph list), draws both channels and writes the picture;
// the exit status. Makes its own Qt Gui application on the offscreen platform unless the
// environment names a platform.
int run_preview(const Options& options, Console& console, int argc, char** argv);

}  // namespace tqv::cli
