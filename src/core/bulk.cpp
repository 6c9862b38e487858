#include "bulk.h"

#include <algorithm>
#include <cctype>

#include "commands.h"
#include "digits.h"
#include "texts.h"
#include "vocabulary.h"

namespace tqv {

namespace {

constexpr int kSetAllSteps = 280;
constexpr int kReadSteps = 285;
constexpr int kNetworkReads = 9;

}  // namespace

std::optional<std::string> read_settings_body(int n) {
    static const char* first[22] = {
        "RAST01B",   "RAST01T",   "RAST02B",   "RAST02T",   "RCTD01B", "RCTD01T",
        "RCTD02B",   "RCTD02T",   "RCTDPO01B", "RCTDPO01T", "RCTDPO02B", "RCTDPO02T",
        "RCEL",      "RCWL",      "RSUS01B",   "RSUS01T",   "RSUS02B", "RSUS02T",
        "RP01B",     "RP01T",     "RP02B",     "RP02T"};
    if (n >= 1 && n <= 22) return std::string(first[n - 1]) + "\r\n";
    if (n >= 30 && n <= 285) {
        static const char* lines[4] = {"RCT01T", "RCT01B", "RCT02T", "RCT02B"};
        const int i = n - 30;
        return std::string(lines[i / 64]) + two_digits(i % 64 + 1) + "\r\n";
    }
    return std::nullopt;  // 23..29: idle ticks
}

namespace {

// The steps of the read-settings table a state read walks: the pages on air, the start-up
// pages and the display flags; then the titles.
constexpr int kStatePageSteps[] = {19, 20, 21, 22, 15, 16, 17, 18, 5, 6, 7, 8};

}  // namespace

std::vector<std::string> state_read_bodies(bool titles) {
    std::vector<std::string> out;
    if (titles) {
        for (int n = 30; n < 30 + kTitles; ++n) out.push_back(*read_settings_body(n));
    } else {
        for (int n : kStatePageSteps) out.push_back(*read_settings_body(n));
    }
    return out;
}

std::optional<ReadItem> read_item(std::string_view frame) {
    while (!frame.empty() && (frame.back() == '\n' || frame.back() == '\r')) frame.remove_suffix(1);
    // The slave address, when the frame carries one, is two digits before the letters.
    if (frame.size() >= 2 && std::isdigit(static_cast<unsigned char>(frame[0])) &&
        std::isdigit(static_cast<unsigned char>(frame[1])))
        frame.remove_prefix(2);
    auto line_of = [](std::string_view code) -> std::optional<int> {
        // "01T" .. "02B"
        if (code.size() != 3 || code[0] != '0') return std::nullopt;
        for (int i = 0; i < kTitleLines; ++i) {
            const char* name = line_label(i);
            if (code[1] == name[0] && code[2] == name[1]) return i;
        }
        return std::nullopt;
    };
    struct Head {
        std::string_view letters;
        ReadItem::Kind kind;
    };
    for (const Head& h : {Head{"RSUS", ReadItem::Kind::startup}, Head{"RCTD", ReadItem::Kind::display},
                          Head{"RP", ReadItem::Kind::page}}) {
        if (!frame.starts_with(h.letters)) continue;
        const auto line = line_of(frame.substr(h.letters.size()));
        if (!line) return std::nullopt;
        return ReadItem{h.kind, *line, 0};
    }
    if (frame.size() == 8 && frame.starts_with("RCT")) {
        const auto line = line_of(frame.substr(3, 3));
        const std::string_view digits = frame.substr(6);
        if (!line || !std::isdigit(static_cast<unsigned char>(digits[0])) ||
            !std::isdigit(static_cast<unsigned char>(digits[1])))
            return std::nullopt;
        const int page = two_digits_to_number(digits[0], digits[1]);
        if (page < 1 || page > kPages) return std::nullopt;
        return ReadItem{ReadItem::Kind::title, *line, Model::title_slot(*line, page - 1)};
    }
    return std::nullopt;
}

int BulkTransfer::period_ms(int n) const {
    switch (kind_) {
        case BulkKind::titles_store: return 1000;
        case BulkKind::titles_no_memory: return 600;
        case BulkKind::display_lines: return 500;
        case BulkKind::switch_time_lines: return 1200;
        // The commands after the titles take the device longer.
        case BulkKind::set_all: return n > 257 ? 1200 : 600;
        case BulkKind::read_settings:
        case BulkKind::compare_read: return 400;
        case BulkKind::network_read: return 200;
        case BulkKind::send_changes: {
            // A title is taken at the set-all pace, every other command takes the device
            // longer: the wait after a step follows the step's own command.
            if (n <= 1 || n - 2 >= int(changes_.size())) return 600;
            const std::string& label = changes_[std::size_t(n - 2)].label;
            return label.starts_with("CT") && !label.starts_with("CTD") ? 600 : 1200;
        }
    }
    return 1000;
}

int BulkTransfer::total() const {
    switch (kind_) {
        case BulkKind::titles_store:
        case BulkKind::titles_no_memory: return kTitles;
        case BulkKind::display_lines:
        case BulkKind::switch_time_lines: return 4;
        case BulkKind::set_all: return kSetAllSteps;
        case BulkKind::read_settings:
        case BulkKind::compare_read: return kReadSteps;
        case BulkKind::network_read: return kNetworkReads;
        case BulkKind::send_changes: return int(changes_.size());
    }
    return 0;
}

int BulkTransfer::progress_range() const {
    switch (kind_) {
        case BulkKind::display_lines:
        case BulkKind::switch_time_lines: return 3;
        case BulkKind::read_settings:
        case BulkKind::compare_read: return kReadSteps + 1;
        default: return total();
    }
}

std::optional<int> BulkTransfer::percent(int n) const {
    switch (kind_) {
        case BulkKind::titles_store:
        case BulkKind::titles_no_memory:
        case BulkKind::set_all:
        case BulkKind::send_changes: return n * 100 / std::max(total(), 1);
        case BulkKind::read_settings:
        case BulkKind::compare_read: return n * 100 / (kReadSteps + 1);
        default: return std::nullopt;
    }
}

std::string BulkTransfer::completion_text() const {
    // The completion messages the operator knows: the last title read, and the version
    // number that ends the device network read.
    if (kind_ == BulkKind::read_settings) return text::kSocketReadOk;
    if (kind_ == BulkKind::network_read) return text::kSuccess;
    return {};
}

std::string BulkTransfer::completion_caption() const {
    return kind_ == BulkKind::network_read ? text::kDoneCaption : "";
}

void BulkTransfer::begin(Model& m) {
    // The answers are applied to the model as always; for a comparison the document's own
    // values are kept aside and put back when the run ends, however it ends. A read of the
    // settings keeps them to see whether the device changed the document.
    if (kind_ == BulkKind::compare_read || kind_ == BulkKind::read_settings)
        document_ = SettingsBlock::of(m);
}

void BulkTransfer::end(Model& m, RunEnd) {
    if (kind_ == BulkKind::compare_read) {
        device_ = SettingsBlock::of(m);
        document_.put(m);
    } else if (kind_ == BulkKind::read_settings) {
        // What the device answered is now the operator's document, unsaved.
        if (!compare_settings(m, document_).empty()) m.document_dirty = 1;
    }
}

namespace {

// "CT01T05" / "CN02B64": the head of title slot t's command.
std::string title_label(int store, int t) {
    const int line = t / kPages;
    std::string label = store == 1 ? "CT" : "CN";
    label += line < 2 ? "01" : "02";
    label += line % 2 == 0 ? 'T' : 'B';
    label += two_digits(t % kPages + 1);
    return label;
}

}  // namespace

std::optional<std::string> BulkTransfer::body(const Model& m, int n) const {
    switch (kind_) {
        case BulkKind::titles_store:
        case BulkKind::titles_no_memory:
            return std::nullopt;  // titles are padded and checked as they go out
        case BulkKind::display_lines: return body_display_line(m, n - 1);
        case BulkKind::switch_time_lines: return body_switch_times_line(m, n - 1);
        case BulkKind::set_all:
            if (n <= 256 || n == 257 || n == 262) return std::nullopt;
            if (n <= 261) return body_switch_times_line(m, n - 258);
            if (n <= 266) return body_display_line(m, n - 263);
            if (n == 267) return body_white_level(m);
            if (n == 268) return body_edge_level(m);
            if (n <= 272) return body_startup_page(m, n - 269);
            if (n <= 276) return body_position(m, n - 273);
            if (n <= 280) return body_page_switch(m, n - 277);
            return std::nullopt;
        case BulkKind::read_settings:
        case BulkKind::compare_read: return read_settings_body(n);
        case BulkKind::send_changes: {
            if (n < 1 || n > int(changes_.size())) return std::nullopt;
            const std::string& b = changes_[std::size_t(n - 1)].body;
            if (b.empty()) return std::nullopt;
            return b;
        }
        case BulkKind::network_read: return body_network_read(n);
    }
    return std::nullopt;
}

std::string BulkTransfer::label(const Model& m, int n) const {
    if (n < 1 || n > total()) return {};
    if (kind_ == BulkKind::titles_store || kind_ == BulkKind::titles_no_memory)
        return title_label(kind_ == BulkKind::titles_store ? 1 : 0, n - 1);
    if (kind_ == BulkKind::set_all && n <= 256) return title_label(1, n - 1);
    if (kind_ == BulkKind::send_changes) return changes_[std::size_t(n - 1)].label;
    const auto b = body(m, n);
    return b ? command_label(*b) : std::string();
}

StepResult BulkTransfer::send(SendPath& path, int n) {
    StepResult r;
    auto title = [&](int store, int t) {
        // A title the device cannot show is refused: the run ends with the JIS warning.
        if (const char* refused = send_title(path, store, t)) {
            r.refused = true;
            r.refused_text = refused;
        } else {
            r.sent = true;
        }
    };
    if (kind_ == BulkKind::titles_store || kind_ == BulkKind::titles_no_memory) {
        title(kind_ == BulkKind::titles_store ? 1 : 0, n - 1);
        return r;
    }
    if (kind_ == BulkKind::set_all && n <= 256) {
        title(1, n - 1);
        return r;
    }
    if (kind_ == BulkKind::send_changes && n >= 1 && n <= int(changes_.size()) &&
        changes_[std::size_t(n - 1)].body.empty()) {
        r.refused = true;
        r.refused_text = text::kNotJis;
        return r;
    }
    const auto b = body(path.model(), n);
    if (!b) return r;  // an idle step
    if (kind_ == BulkKind::network_read) {
        send_network_command(path, *b);
    } else {
        path.send_command(*b);
    }
    r.sent = true;
    return r;
}

// ---------------------------------------------------------------- glyph list

std::string GlyphBulk::percent_text(int n) {
    const int p = 100 * n / kGlyphs;
    const int tenths = (10000 * n / kGlyphs) / 10 % 10;
    std::string s = " ";
    s += static_cast<char>('0' + p / 10 % 10);
    s += static_cast<char>('0' + p % 10);
    s += '.';
    s += static_cast<char>('0' + tenths);
    return s;
}

StepResult GlyphBulk::send(SendPath& path, int n) {
    Model& m = path.model();
    const int index = n - 1;
    if (registering_) {
        path.send_command(body_glyph_register(n, m.glyph_data[std::size_t(index)]));
    } else {
        // The answer names no slot: it goes to glyph_index, the slot of this step.
        m.glyph_request_pending = 1;
        path.send_command(body_read_request(glyph_bulk_code(index)));
    }
    return {true, false, {}};
}

std::string GlyphBulk::label(const Model&, int n) const {
    if (n < 1 || n > kGlyphs) return {};
    if (registering_) return "GR" + two_digits(n);
    return command_label(body_read_request(glyph_bulk_code(n - 1)));
}

}  // namespace tqv
