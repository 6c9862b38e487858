// The cue file reader: whatever it takes is a list of steps the device can be sent, saving
// it and reading it again gives the same list, and every command step has its command.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/cues.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    std::vector<Cue> cues;
    CueFileError error;
    if (!parse_cue_csv(std::string_view(reinterpret_cast<const char*>(data), size), cues, error)) {
        fuzz::check(cues.empty(), "a refused file loads nothing");
        fuzz::check(!error.message().empty() && error.row >= 0, "a refusal says where");
        return 0;
    }
    std::vector<Cue> again;
    fuzz::check(parse_cue_csv(cue_csv(cues), again, error), "a saved list reads back");
    fuzz::check(again == cues, "saving what was read is stable");
    for (const Cue& cue : cues) {
        for (const CueStep& s : cue.steps) {
            fuzz::check(check_step(s).empty(), "every step loaded can be sent");
            fuzz::check(step_body(s).empty() == (s.action == CueAction::wait),
                        "every command step has a body");
        }
    }
    return 0;
}
