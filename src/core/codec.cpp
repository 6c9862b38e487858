#include "codec.h"

#include <iconv.h>

#include <cerrno>

namespace tqv {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kGeta = "\xE3\x80\x93";         // U+3013 "〓"

// One iconv descriptor per thread and direction, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of `in`, appending to `out`; false (with `out` as it was) on any
    // character that cannot be converted or an incomplete sequence.
    bool convert(std::string_view in, std::string& out) {
        if (!ok()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // initial shift state
        const std::size_t mark = out.size();
        char* src = const_cast<char*>(in.data());
        std::size_t src_left = in.size();
        char buffer[256];
        while (src_left > 0) {
            char* dst = buffer;
            std::size_t dst_left = sizeof buffer;
            std::size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out.resize(mark);
                return false;
            }
        }
        char* dst = buffer;
        std::size_t dst_left = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dst_left);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return true;
    }

private:
    iconv_t cd_;
};

Converter& decoder() {
    thread_local Converter c("UTF-8", "CP932");
    return c;
}

Converter& encoder() {
    thread_local Converter c("CP932", "UTF-8");
    return c;
}

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
        // One character at a time, so that a byte iconv rejects costs only that character.
        std::size_t length = 1;
        if (is_lead_byte(c)) {
            if (i + 1 >= bytes.size() || !is_trail_byte(static_cast<unsigned char>(bytes[i + 1]))) {
                out += kReplacement;  // a lead byte without its trail byte
                i += 1;
                continue;
            }
            length = 2;
        }
        if (!decoder().convert(bytes.substr(i, length), out)) out += kReplacement;
        i += length;
    }
    return out;
}

std::optional<std::string> utf8_to_cp932(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    if (!encoder().convert(text, out)) return std::nullopt;
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
