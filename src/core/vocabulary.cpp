#include "vocabulary.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "codec.h"
#include "commands.h"
#include "digits.h"
#include "texts.h"
#include "titles.h"

namespace tqv {

namespace {

constexpr std::array<const char*, kTitleLines> kLineNames = {"1T", "1B", "2T", "2B"};

struct RunEndName {
    RunEnd end;
    const char* key;   // the state feed's run/end
    const char* text;  // a cue's outcome
};
constexpr std::array<RunEndName, 7> kRunEnds = {{
    {RunEnd::none, "none", "none"},
    {RunEnd::completed, "completed", "completed"},
    {RunEnd::stopped, "stopped", "stopped"},
    {RunEnd::error_answer, "error_answer", "error answer"},
    {RunEnd::refused, "refused", "refused"},
    {RunEnd::timeout, "timeout", "time-out"},
    {RunEnd::link_lost, "link_lost", "link lost"},
}};

const RunEndName* run_end_entry(RunEnd end) {
    for (const RunEndName& n : kRunEnds)
        if (n.end == end) return &n;
    return nullptr;
}

// Half-width katakana U+FF61..U+FF9F to their full-width forms (the marks ﾞ ﾟ standing
// alone become ゛ ゜).
constexpr std::array<char16_t, 63> kKatakana = {
    u'。', u'「', u'」', u'、', u'・', u'ヲ', u'ァ', u'ィ', u'ゥ', u'ェ', u'ォ', u'ャ', u'ュ',
    u'ョ', u'ッ', u'ー', u'ア', u'イ', u'ウ', u'エ', u'オ', u'カ', u'キ', u'ク', u'ケ', u'コ',
    u'サ', u'シ', u'ス', u'セ', u'ソ', u'タ', u'チ', u'ツ', u'テ', u'ト', u'ナ', u'ニ', u'ヌ',
    u'ネ', u'ノ', u'ハ', u'ヒ', u'フ', u'ヘ', u'ホ', u'マ', u'ミ', u'ム', u'メ', u'モ', u'ヤ',
    u'ユ', u'ヨ', u'ラ', u'リ', u'ル', u'レ', u'ロ', u'ワ', u'ン', u'゛', u'゜'};
constexpr char32_t kVoicedMark = 0xFF9E;      // ﾞ
constexpr char32_t kSemiVoicedMark = 0xFF9F;  // ﾟ

// The letter that `base` becomes with ﾞ (or ﾟ when `semi`); 0 when the two stay apart
// (the device's character set has no ヷ, ヺ, …).
char32_t voiced(char32_t base, bool semi) {
    const bool ha_row = base >= U'ハ' && base <= U'ホ' && (base - U'ハ') % 3 == 0;
    if (semi) return ha_row ? base + 2 : 0;
    if (base == U'ウ') return U'ヴ';
    if (ha_row) return base + 1;
    // カ..チ every other code point, then ツ テ ト.
    if (base >= U'カ' && base <= U'チ' && (base - U'カ') % 2 == 0) return base + 1;
    if (base == U'ツ' || base == U'テ' || base == U'ト') return base + 1;
    return 0;
}

char32_t full_width(char32_t c) {
    if (c == U' ') return U'\u3000';
    // JIS X 0208 has no full-width straight quotes; typing them in full width gives these.
    if (c == U'"') return U'”';
    if (c == U'\'') return U'’';
    if (c > 0x20 && c < 0x7F) return c + 0xFEE0;
    if (c >= 0xFF61 && c <= 0xFF9F) return kKatakana[c - 0xFF61];
    return c;
}

// One character can be sent: a double-byte character of code page 932 with a JIS X 0208
// code the title command carries (a single byte, or a pair that would read as a glyph
// placeholder, cannot).
std::optional<std::string> sendable(char32_t c) {
    std::string one;
    append_utf8(one, c);
    auto bytes = utf8_to_cp932(one);
    if (!bytes || bytes->size() != 2 || static_cast<unsigned char>((*bytes)[0]) < 0x81)
        return std::nullopt;
    const auto unit = std::uint16_t(static_cast<unsigned char>((*bytes)[0]) * 256 +
                                    static_cast<unsigned char>((*bytes)[1]));
    if (!title_unit_code(unit)) return std::nullopt;
    return bytes;
}

// A character that cannot be sent as the message shows it: controls and blanks by their
// code point, since they show as nothing.
std::string shown(char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0xFEFF || c == 0x200B) {
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", unsigned(c));
        return code;
    }
    std::string out;
    append_utf8(out, c);
    return out;
}

constexpr std::size_t kShownUnsendable = 8;

}  // namespace

std::string quoted_value(std::string_view text) {
    constexpr std::size_t kShown = 40;
    if (text.size() <= kShown) return "\"" + std::string(text) + "\"";
    std::size_t cut = kShown;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return "\"" + std::string(text.substr(0, cut)) + "…\"";
}

// ---------------------------------------------------------------- names
const char* line_label(int line) {
    return kLineNames[std::size_t(std::clamp(line, 0, kTitleLines - 1))];
}

std::string page_label(int value) {
    return value >= kAutoPage ? "AUTO" : std::to_string(std::max(value, 0) + 1);
}

std::optional<int> parse_line_label(std::string_view text, std::string* error) {
    for (int i = 0; i < kTitleLines; ++i) {
        const char* name = kLineNames[std::size_t(i)];
        if (text.size() == 2 && text[0] == name[0] &&
            std::toupper(static_cast<unsigned char>(text[1])) == name[1])
            return i;
    }
    if (error != nullptr) *error = "unknown line " + quoted_value(text) + ": 1T, 1B, 2T or 2B";
    return std::nullopt;
}

std::optional<int> parse_page_label(std::string_view text, bool allow_auto, std::string* error) {
    if (allow_auto && text.size() == 4) {
        std::string upper(text);
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (upper == "AUTO") return kAutoPage;
    }
    int value = 0;
    bool digits = !text.empty() && text.size() <= 2;
    for (std::size_t i = 0; digits && i < text.size(); ++i) {
        digits = is_decimal_digit(text[i]);
        value = value * 10 + (text[i] - '0');
    }
    if (digits && value >= 1 && value <= kPages) return value - 1;
    if (error != nullptr)
        *error = "page " + quoted_value(text) + " out of range: " + (allow_auto ? "1..64 or AUTO" : "1..64");
    return std::nullopt;
}

const char* run_end_key(RunEnd end) {
    const RunEndName* n = run_end_entry(end);
    return n != nullptr ? n->key : "";
}

const char* run_end_text(RunEnd end) {
    const RunEndName* n = run_end_entry(end);
    return n != nullptr ? n->text : "";
}

// ---------------------------------------------------------------- titles
std::string full_width_title(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size() * 3);
    char32_t last = 0;  // the last character written, while a mark may still join it
    std::size_t last_at = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto c = next_utf8(utf8, i);
        if (!c) {
            out += utf8[i++];
            last = 0;
            continue;
        }
        if ((*c == kVoicedMark || *c == kSemiVoicedMark) && last != 0) {
            if (const char32_t joined = voiced(last, *c == kSemiVoicedMark)) {
                out.resize(last_at);
                append_utf8(out, joined);
                last = 0;
                continue;
            }
        }
        last = full_width(*c);
        last_at = out.size();
        append_utf8(out, last);
    }
    return out;
}

TitleCheck check_title(std::string_view utf8) {
    TitleCheck r;
    const std::string wide = full_width_title(utf8);
    std::size_t i = 0;
    while (i < wide.size()) {
        const auto c = next_utf8(wide, i);
        if (!c) {
            r.not_utf8 = true;
            return r;
        }
        ++r.characters;
        if (auto bytes = sendable(*c)) {
            r.bytes += *bytes;
            continue;
        }
        std::string name = shown(*c);
        if (std::find(r.unsendable.begin(), r.unsendable.end(), name) == r.unsendable.end())
            r.unsendable.push_back(std::move(name));
    }
    if (!r.ok()) r.bytes.clear();
    return r;
}

std::string title_refusal(const TitleCheck& check, Language language) {
    if (check.ok()) return {};
    const bool en = language == Language::english;
    if (check.not_utf8) return en ? std::string(text::kTitleRefusedEn) + text::kTitleNotUtf8En
                                  : std::string(text::kTitleNotUtf8) + "。";
    std::string out = en ? text::kTitleRefusedEn : "";
    if (!check.unsendable.empty()) {
        out += en ? text::kTitleUnsendableEn : text::kTitleUnsendable;
        for (std::size_t k = 0; k < check.unsendable.size() && k < kShownUnsendable; ++k)
            out += en ? (k ? ", \"" : "\"") + check.unsendable[k] + "\""
                      : "「" + check.unsendable[k] + "」";
        if (check.unsendable.size() > kShownUnsendable) out += "…";
        out += en ? "" : "。";
    }
    if (check.characters > kTitleMaxCharacters) {
        const std::string count = std::to_string(check.characters);
        out += en ? (check.unsendable.empty() ? "" : "; ") + count + text::kTitleLimitEn
                  : std::string(text::kTitleLimit) + "（" + count + "文字）。";
    }
    return out;
}

// ---------------------------------------------------------------- operations
const char* operation_name(Operation::Kind kind) {
    static constexpr const char* kNames[] = {"page", "startup", "title"};
    return kNames[int(kind)];
}

ParsedOperation make_operation(Operation::Kind kind, int line, int page, std::string_view text,
                               bool memory, Language language) {
    ParsedOperation r;
    Operation op;
    op.kind = kind;
    op.line = std::clamp(line, 0, kTitleLines - 1);
    op.page = std::clamp(page, 0, kind == Operation::Kind::title ? kPages - 1 : kAutoPage);
    op.memory = memory;
    if (kind == Operation::Kind::title) {
        TitleCheck check = check_title(text);
        if (!check.ok()) {
            r.error = title_refusal(check, language);
            return r;
        }
        op.text = std::move(check.bytes);
    }
    r.operation = std::move(op);
    return r;
}

ParsedOperation parse_operation(Operation::Kind kind, std::string_view line,
                                std::string_view page, const std::string* text, bool memory,
                                Language language) {
    ParsedOperation r;
    const bool title = kind == Operation::Kind::title;
    const auto l = parse_line_label(line, &r.error);
    if (!l) return r;
    const auto p = parse_page_label(page, !title, &r.error);
    if (!p) return r;
    if (title && text == nullptr) {
        r.error = "no text";
        return r;
    }
    return make_operation(kind, *l, *p, title ? std::string_view(*text) : std::string_view(),
                          memory, language);
}

std::string operation_body(const Operation& op) {
    switch (op.kind) {
        case Operation::Kind::page:
            return body_page_switch_to(op.line, op.page);
        case Operation::Kind::startup:
            return body_startup_page_to(op.line, op.page);
        case Operation::Kind::title:
            return body_title(op.memory ? 1 : 0, Model::title_slot(op.line, op.page), op.text)
                .value_or(std::string());
    }
    return {};
}

void apply_operation(Model& m, const Operation& op) {
    switch (op.kind) {
        case Operation::Kind::page:
            m.current_page[std::size_t(op.line)] = op.page;
            break;
        case Operation::Kind::startup:
            m.startup_page[std::size_t(op.line)] = op.page;
            break;
        case Operation::Kind::title:
            set_slot_text(m.title(op.line, op.page), op.text);
            break;
    }
}

}  // namespace tqv
