// The glyph list reader: every record becomes a digit 0-9/A-F, so no register command can
// carry anything else, and reading what was read changes nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/commands.h"
#include "core/glyph.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    Model m;
    parse_glyph_list(m, std::string_view(reinterpret_cast<const char*>(data), size));
    // Only the slots an input of this size can reach; the others stay "0".
    const int touched = std::min<int>(kGlyphSlots, static_cast<int>(size / kGlyphDigits) + 1);
    for (int s = 0; s < touched; ++s) {
        const std::string body = body_glyph_register(s + 1, m.glyph_data[s]);
        for (std::size_t k = 4; k + 2 < body.size(); ++k)
            fuzz::check(fuzz::is_upper_hex(body[k]), "a register command carries digits only");
    }
    // Reading what was read, as saving writes it (one digit a record), changes nothing.
    std::string saved;
    for (int s = 0; s < touched; ++s) saved.append(m.glyph_data[s].data(), kGlyphDigits);
    Model again;
    parse_glyph_list(again, saved);
    for (int s = 0; s < touched; ++s)
        fuzz::check(again.glyph_data[s] == m.glyph_data[s], "reading is stable");
    return 0;
}
