#include "settings/title_text.h"

#include "core/codec.h"

namespace tqv {

namespace {

constexpr char16_t kPlaceholderBase = 0xF000;
constexpr char16_t kPlaceholderLast = 0xF1FF;

bool is_placeholder_lead(char c) { return c == '\x10' || c == '\x11'; }

QString decode(std::string_view bytes) {
    const std::string utf8 = cp932_to_utf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

QString title_edit_text(std::string_view slot_bytes) {
    QString out;
    std::size_t run = 0;  // start of the bytes not yet decoded
    std::size_t i = 0;
    while (i < slot_bytes.size()) {
        if (is_placeholder_lead(slot_bytes[i]) && i + 1 < slot_bytes.size()) {
            out += decode(slot_bytes.substr(run, i - run));
            const unsigned unit = static_cast<unsigned char>(slot_bytes[i]) * 256u +
                                  static_cast<unsigned char>(slot_bytes[i + 1]);
            out += QChar(static_cast<char16_t>(kPlaceholderBase + unit - 0x1000));
            i += 2;
            run = i;
        } else {
            ++i;
        }
    }
    out += decode(slot_bytes.substr(run));
    return out;
}

std::optional<std::string> title_slot_bytes(const QString& text) {
    std::string out;
    qsizetype run = 0;
    auto flush = [&](qsizetype end) {
        if (end == run) return true;
        const QByteArray utf8 = text.mid(run, end - run).toUtf8();
        auto bytes = utf8_to_cp932(std::string_view(utf8.constData(), utf8.size()));
        if (!bytes) return false;
        out += *bytes;
        return true;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < kPlaceholderBase || c > kPlaceholderLast) continue;
        if (!flush(i)) return std::nullopt;
        const unsigned unit = 0x1000u + (c - kPlaceholderBase);
        // A NUL low byte would end the slot early.
        if ((unit & 0xFF) == 0) return std::nullopt;
        out += static_cast<char>(unit >> 8);
        out += static_cast<char>(unit & 0xFF);
        run = i + 1;
    }
    if (!flush(text.size())) return std::nullopt;
    return out;
}

QString title_cell_text(std::string_view slot_bytes) {
    std::string shown(slot_bytes);
    for (std::size_t k = 0; k + 1 < shown.size(); k += 2) {
        if (is_placeholder_lead(shown[k])) {
            shown[k] = '\x81';
            shown[k + 1] = '\x40';
        }
    }
    return decode(shown);
}

}  // namespace tqv
