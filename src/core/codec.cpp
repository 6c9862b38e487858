#include "codec.h"

#include <algorithm>
#include <iterator>

#include "platform.h"

namespace tqv {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kGeta = "\xE3\x80\x93";         // U+3013 "〓"

// The systems' conversions differ on a few characters; the codec decides those itself, so
// that a title is the same bytes whichever system typed it. glibc takes these to a
// look-alike one way and Windows refuses them: the folds are kept, as they always were.
struct Fold {
    char32_t from;
    std::string_view to;
};
constexpr Fold kOneWay[] = {{0x00A2, "\x81\x91"}, {0x00A3, "\x81\x92"}, {0x00A5, "\x5C"},
                            {0x00AC, "\x81\xCA"}, {0x2014, "\x81\x5C"}, {0x2016, "\x81\x61"},
                            {0x203E, "\x7E"},      {0x2212, "\x81\x7C"}, {0x301C, "\x81\x60"}};
// No code page 932 form, although one system gives them one: U+0080 and U+F8F0..U+F8F3
// are Windows' for the bytes 0x80, 0xA0 and 0xFD..0xFF, and glibc drops the tag characters
// without a word.
bool refused(char32_t c) {
    return c == 0x80 || (c >= 0xF8F0 && c <= 0xF8F3) || (c >= 0xE0000 && c <= 0xE007F);
}
// 0x80, 0xA0 and 0xFD..0xFF begin no character (Windows alone reads 0x80 as U+0080).
bool is_single_byte(unsigned char c) { return c < 0x80 || (c >= 0xA1 && c <= 0xDF); }

bool is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool is_trail_byte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
bool is_placeholder_lead(unsigned char c) { return c == 0x10 || c == 0x11; }

}  // namespace

std::string cp932_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 3 / 2);
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (is_placeholder_lead(c)) {
            if (i + 1 < bytes.size()) {
                out += kGeta;
                i += 2;
            } else {
                out += kReplacement;  // half a placeholder
                i += 1;
            }
            continue;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);  // code page 932 keeps ASCII and controls as they are
            i += 1;
            continue;
        }
        // One character at a time, so that a byte the system rejects costs only that character.
        std::size_t length = 1;
        if (!is_single_byte(c) && !is_lead_byte(c)) {
            out += kReplacement;
            i += 1;
            continue;
        }
        if (is_lead_byte(c)) {
            if (i + 1 >= bytes.size() || !is_trail_byte(static_cast<unsigned char>(bytes[i + 1]))) {
                out += kReplacement;  // a lead byte without its trail byte
                i += 1;
                continue;
            }
            length = 2;
        }
        if (!platform::cp932_to_utf8(bytes.substr(i, length), out)) out += kReplacement;
        i += length;
    }
    return out;
}

std::optional<std::string> utf8_to_cp932(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    // Runs of ordinary characters go to the system at once; a character the codec decides
    // itself ends a run. The text is checked as UTF-8 here, so both systems refuse the same.
    std::size_t run = 0, at = 0;
    while (at < text.size()) {
        const std::size_t here = at;
        const std::optional<char32_t> c = next_utf8(text, at);
        if (!c || refused(*c)) return std::nullopt;
        const Fold* fold = std::find_if(std::begin(kOneWay), std::end(kOneWay), [&](const Fold& f) { return f.from == *c; });
        if (fold == std::end(kOneWay)) continue;
        if (!platform::utf8_to_cp932(text.substr(run, here - run), out)) return std::nullopt;
        out += fold->to;
        run = at;
    }
    if (!platform::utf8_to_cp932(text.substr(run), out)) return std::nullopt;
    return out;
}

std::optional<char32_t> next_utf8(std::string_view text, std::size_t& at) {
    if (at >= text.size()) return std::nullopt;
    const auto c = static_cast<unsigned char>(text[at]);
    const std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c < 0xE0 ? 2 : c >= 0xE0 && c < 0xF0 ? 3
                        : c >= 0xF0 && c < 0xF5                ? 4
                                                               : 0;
    if (n == 0 || at + n > text.size()) return std::nullopt;
    char32_t value = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[at + k]);
        if ((b & 0xC0) != 0x80) return std::nullopt;
        value = (value << 6) | (b & 0x3F);
    }
    // Overlong three- and four-byte forms, surrogates and code points past U+10FFFF.
    if ((n == 3 && value < 0x800) || (value >= 0xD800 && value <= 0xDFFF) ||
        (n == 4 && (value < 0x10000 || value > 0x10FFFF)))
        return std::nullopt;
    at += n;
    return value;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace tqv
