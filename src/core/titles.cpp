#include "titles.h"

#include "digits.h"

namespace tqv {

std::uint16_t map_ibm_extension(std::uint16_t u) {
    if (u >= 0xFA40 && u <= 0xFA49) return u - 0x0B51;
    if (u >= 0xFA55 && u <= 0xFA57) return u - 0x0B5B;
    if (u <= 0xFA7E || (u >= 0xFA9C && u <= 0xFAFC) || (u >= 0xFB5C && u <= 0xFB7E) ||
        (u >= 0xFB9C && u <= 0xFBFC))
        return u - 0x0D1C;
    if ((u >= 0xFA80 && u <= 0xFA9B) || (u >= 0xFB80 && u <= 0xFB9B)) return u - 0x0D1D;
    if ((u >= 0xFB40 && u <= 0xFB5B) || (u >= 0xFC40 && u <= 0xFC4B)) return u - 0x0D5F;
    return 0;
}

std::uint16_t sjis_to_jis(std::uint16_t u) {
    const unsigned s1 = u >> 8;
    const unsigned s2 = u & 0xFF;
    const bool lead = (s1 >= 0x81 && s1 <= 0x9F) || (s1 >= 0xE0 && s1 <= 0xFC);
    const bool trail = (s2 >= 0x40 && s2 <= 0x7E) || (s2 >= 0x80 && s2 <= 0xFC);
    if (!lead || !trail) return 0;
    const unsigned r = s1 < 0xA0 ? s1 - 0x81 : s1 - 0xC1;
    unsigned j1, j2;
    if (s2 < 0x9F) {
        j1 = 2 * r + 0x21;
        j2 = s2 - 0x1F;
        if (s2 > 0x7E) j2 -= 1;
    } else {
        j1 = 2 * r + 0x22;
        j2 = s2 - 0x7E;
    }
    const unsigned code = j1 * 256 + j2;
    if (code >= 0x2121 && code <= 0x7E7E && j2 >= 0x21 && j2 <= 0x7E)
        return static_cast<std::uint16_t>(code);
    return 0;
}

std::uint16_t jis_to_sjis(std::uint16_t code) {
    const unsigned j1 = code >> 8;
    const unsigned j2 = code & 0xFF;
    if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) return 0;
    const unsigned s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
    unsigned s2;
    if (j1 & 1) {
        s2 = j2 + (j2 >= 0x60 ? 0x20 : 0x1F);
    } else {
        s2 = j2 + 0x7E;
    }
    return static_cast<std::uint16_t>(s1 * 256 + s2);
}

std::optional<std::uint16_t> title_unit_code(std::uint16_t u) {
    if (u <= 0x1139) return static_cast<std::uint16_t>(u + kGlyphCodeOffset);
    // 0x113A..0x1339 is neither a glyph placeholder nor a character: refuse it rather than
    // send a value the device would misread.
    if (u <= 0x1339) return std::nullopt;
    if (u >= 0xFA5C || (u >= 0xFA40 && u <= 0xFA49) || (u >= 0xFA55 && u <= 0xFA57))
        u = map_ibm_extension(u);
    std::uint16_t code = sjis_to_jis(u);
    if (code == 0) return std::nullopt;
    return code;
}

bool pad_title_bytes(std::string_view bytes, PaddedTitle& padded) {
    padded.fill('\0');
    const std::size_t n = bytes.size();
    constexpr std::size_t kMax = kTitleMaxBytes;
    const std::size_t copied = n < kMax ? n : kMax;
    for (std::size_t i = 0; i < copied; ++i) padded[i] = bytes[i];
    if (n > kMax || n % 2 != 0) return false;
    for (std::size_t i = n; i < kMax; i += 2) {
        padded[i] = static_cast<char>(0x81);
        padded[i + 1] = static_cast<char>(0x40);
    }
    return true;
}

bool pad_title(const Model& model, int t, PaddedTitle& padded) {
    padded.fill('\0');
    if (t < 0 || t >= kTitles) return false;
    return pad_title_bytes(slot_text(model.titles[t]), padded);
}

std::string channel_field(int line) { return (line == 2 || line == 3) ? "02" : "01"; }
char position_letter(int line) { return (line == 1 || line == 3) ? 'B' : 'T'; }

std::optional<std::string> build_title_body(int store, int t, const PaddedTitle& padded) {
    if (t < 0 || t >= kTitles) return std::nullopt;
    std::string body = store == 1 ? "CT" : "CN";
    body += t < 128 ? "01" : "02";
    body += (t % 128) < 64 ? 'T' : 'B';
    body += two_digits(t % 64 + 1);
    for (int k = 0; k < 14; ++k) {
        const auto hi = static_cast<unsigned char>(padded[2 * k]);
        const auto lo = static_cast<unsigned char>(padded[2 * k + 1]);
        auto code = title_unit_code(static_cast<std::uint16_t>(hi * 256 + lo));
        if (!code) return std::nullopt;
        body += hex4(*code);
    }
    body += "\r\n";
    return body;
}

std::string decode_title_codes(const std::array<std::uint16_t, 14>& codes) {
    int count = 0;
    for (int k = 13; k >= 0 && codes[k] == kFullWidthSpaceJis; --k) ++count;
    std::string out;
    for (int k = 0; k < 14 - count; ++k) {
        std::uint16_t code = codes[k];
        std::uint16_t value = code > 0x7C7E ? static_cast<std::uint16_t>(code - kGlyphCodeOffset)
                                            : jis_to_sjis(code);
        out.push_back(static_cast<char>(value >> 8));
        out.push_back(static_cast<char>(value & 0xFF));
    }
    return out;
}

}  // namespace tqv
