#include "cli/cli_ui.h"

#include "core/texts.h"

namespace tqv::cli {

void CliUi::box(Box kind, std::string_view text, std::string_view /*caption*/) {
    // "GN" is a refusal by the device on both links; only its box kind differs.
    const bool failure = kind == Box::error || kind == Box::error_owned || kind == Box::warning ||
                         text == text::kSocketModeDifference;
    if (failure) ++failures_;
    if (failure || !quiet_) console_.message(prefix_ + std::string(text));
    if (on_box) on_box(failure);
}

bool CliUi::ask(std::string_view text, std::string_view /*caption*/) {
    if (!quiet_) console_.message(prefix_ + std::string(text));
    return true;
}

}  // namespace tqv::cli
