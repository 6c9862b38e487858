#include "settings/title_text.h"

#include <QStringView>
#include <algorithm>

#include "core/codec.h"
#include "core/vocabulary.h"

namespace tqv {

namespace {

constexpr char32_t kPlaceholderBase = 0xF000;
constexpr char32_t kPlaceholderLast = 0xF1FF;
constexpr char32_t kRawBase = 0xF0000;  // plane 15: U+F0000 + byte, or + pair
constexpr char32_t kRawLast = 0xFFFFF;

bool is_placeholder_lead(char c) { return c == '\x10' || c == '\x11'; }

bool is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

QString decode(std::string_view bytes) {
    const std::string utf8 = cp932_to_utf8(bytes);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// One code point of a field text at `i`, a surrogate pair taken whole.
char32_t code_point_at(QStringView text, qsizetype i, qsizetype& width) {
    const QChar c = text[i];
    if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
        width = 2;
        return QChar::surrogateToUcs4(c, text[i + 1]);
    }
    width = 1;
    return c.unicode();
}

// The slot bytes of one private-use character, or nothing for any other character.
std::optional<std::string> carried_bytes(char32_t c) {
    std::string out;
    if (c >= kPlaceholderBase && c <= kPlaceholderLast) {
        const unsigned unit = 0x1000u + (c - kPlaceholderBase);
        // A NUL low byte would end the slot early.
        if ((unit & 0xFF) == 0) return std::nullopt;
        out += static_cast<char>(unit >> 8);
        out += static_cast<char>(unit & 0xFF);
        return out;
    }
    if (c >= kRawBase && c <= kRawLast) {
        const unsigned unit = c - kRawBase;
        if (unit > 0xFF) out += static_cast<char>(unit >> 8);
        if ((unit & 0xFF) == 0) return std::nullopt;
        out += static_cast<char>(unit & 0xFF);
        return out;
    }
    return std::nullopt;
}

bool is_carried(char32_t c) {
    return (c >= kPlaceholderBase && c <= kPlaceholderLast) || (c >= kRawBase && c <= kRawLast);
}

}  // namespace

QString title_edit_text(std::string_view slot_bytes) {
    QString out;
    std::size_t i = 0;
    while (i < slot_bytes.size()) {
        const auto b0 = static_cast<unsigned char>(slot_bytes[i]);
        const bool pair = i + 1 < slot_bytes.size() && (is_placeholder_lead(slot_bytes[i]) || is_lead_byte(b0));
        const std::size_t width = pair ? 2 : 1;
        const unsigned unit =
            pair ? b0 * 256u + static_cast<unsigned char>(slot_bytes[i + 1]) : b0;
        if (pair && is_placeholder_lead(slot_bytes[i])) {
            out += QChar(static_cast<char16_t>(kPlaceholderBase + unit - 0x1000));
        } else {
            const QString decoded = decode(slot_bytes.substr(i, width));
            if (decoded.contains(QChar::ReplacementCharacter) || decoded.isEmpty()) {
                const char32_t raw = kRawBase + unit;
                out += QString::fromUcs4(&raw, 1);
            } else {
                out += decoded;
            }
        }
        i += width;
    }
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
    qsizetype width = 1;
    for (qsizetype i = 0; i < text.size(); i += width) {
        const char32_t c = code_point_at(text, i, width);
        if (!is_carried(c)) continue;
        if (!flush(i)) return std::nullopt;
        auto bytes = carried_bytes(c);
        if (!bytes) return std::nullopt;
        out += *bytes;
        run = i + width;
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

TitleFit fit_title_edit(const QString& before, const QString& typed, std::size_t max_bytes) {
    const QByteArray typed_utf8 = typed.toUtf8();
    const std::string wide =
        full_width_title(std::string_view(typed_utf8.constData(), std::size_t(typed_utf8.size())));
    const QString after = QString::fromUtf8(wide.data(), qsizetype(wide.size()));
    // The inserted part: what lies between the text the two have in common at either end,
    // never splitting a surrogate pair.
    qsizetype prefix = 0;
    const qsizetype shorter = std::min(before.size(), after.size());
    while (prefix < shorter && before[prefix] == after[prefix]) ++prefix;
    if (prefix > 0 && after[prefix - 1].isHighSurrogate()) --prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    if (suffix > 0 && after[after.size() - suffix].isLowSurrogate()) --suffix;

    const QString head = after.left(prefix);
    const QString tail = after.right(suffix);
    const QStringView inserted = QStringView(after).mid(prefix, after.size() - prefix - suffix);

    TitleFit fit;
    const auto kept_bytes = title_slot_bytes(head + tail);
    std::size_t total = kept_bytes ? kept_bytes->size() : 0;
    std::size_t wanted = total;
    QString kept;
    qsizetype width = 1;
    for (qsizetype i = 0; i < inserted.size(); i += width) {
        const char32_t c = code_point_at(inserted, i, width);
        const QString one = inserted.mid(i, width).toString();
        // A glyph or a byte carried in the field goes back as it came; a character goes only
        // when the device can show it.
        std::optional<std::string> bytes;
        if (is_carried(c)) {
            bytes = title_slot_bytes(one);
        } else {
            const QByteArray utf8 = one.toUtf8();
            TitleCheck check = check_title(std::string_view(utf8.constData(), std::size_t(utf8.size())));
            if (check.ok()) bytes = std::move(check.bytes);
            for (std::string& u : check.unsendable)
                if (std::find(fit.unsendable.begin(), fit.unsendable.end(), u) == fit.unsendable.end())
                    fit.unsendable.push_back(std::move(u));
        }
        if (!bytes) {
            fit.dropped = true;
            continue;
        }
        wanted += bytes->size();
        // After a cut nothing more is kept; the rest is still looked at, so that the note
        // names every character that cannot be sent and the length that was asked for.
        if (fit.cut || total + bytes->size() > max_bytes) {
            fit.cut = true;
            continue;
        }
        total += bytes->size();
        kept += one;
    }
    fit.characters = int((wanted + 1) / 2);
    fit.text = head + kept + tail;
    fit.cursor = static_cast<int>(head.size() + kept.size());
    return fit;
}

}  // namespace tqv
