// Code page 932 text and the title codes: decoding never fails, encoding what was decoded
// succeeds, and a title command carries 14 codes of four hexadecimal digits.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/codec.h"
#include "core/titles.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::string utf8 = cp932_to_utf8(bytes);
    if (utf8.find("\xEF\xBF\xBD") == std::string::npos)
        fuzz::check(utf8_to_cp932(utf8).has_value(), "every decoded character encodes again");
    (void)utf8_to_cp932(bytes);  // arbitrary bytes as UTF-8 input

    // The same bytes as the 14 codes of a title answer, and as a title to send.
    std::array<std::uint16_t, 14> codes{};
    for (std::size_t k = 0; k < codes.size() && 2 * k + 1 < size; ++k)
        codes[k] = static_cast<std::uint16_t>(data[2 * k] << 8 | data[2 * k + 1]);
    const std::string decoded = decode_title_codes(codes);
    fuzz::check(decoded.size() <= 28, "a title answer gives at most 28 bytes");

    Model m;
    set_slot_text(m.titles[5], bytes.substr(0, 29));
    PaddedTitle padded{};
    if (pad_title(m, 5, padded)) {
        if (auto body = build_title_body(1, 5, padded)) {
            fuzz::check(body->size() == 2 + 3 + 2 + 14 * 4 + 2, "a title command has 14 codes");
            for (std::size_t k = 7; k < body->size() - 2; ++k)
                fuzz::check(fuzz::is_upper_hex((*body)[k]), "title codes are hexadecimal");
        }
    }
    return 0;
}
