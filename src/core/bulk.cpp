#include "bulk.h"

#include "commands.h"
#include "digits.h"
#include "texts.h"

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

int BulkTransfer::initial_period_ms() const {
    switch (kind_) {
        case BulkKind::titles_store: return 1000;
        case BulkKind::titles_no_memory: return 600;
        case BulkKind::display_lines: return 500;
        case BulkKind::switch_time_lines: return 1200;
        case BulkKind::set_all: return 600;
        case BulkKind::read_settings: return 400;
        case BulkKind::network_read: return 200;
    }
    return 1000;
}

int BulkTransfer::total_steps() const {
    switch (kind_) {
        case BulkKind::titles_store:
        case BulkKind::titles_no_memory: return kTitles;
        case BulkKind::display_lines:
        case BulkKind::switch_time_lines: return 4;
        case BulkKind::set_all: return kSetAllSteps;
        case BulkKind::read_settings: return kReadSteps;
        case BulkKind::network_read: return kNetworkReads;
    }
    return 0;
}

int BulkTransfer::progress_range() const {
    switch (kind_) {
        case BulkKind::display_lines:
        case BulkKind::switch_time_lines: return 3;
        case BulkKind::read_settings: return kReadSteps + 1;
        default: return total_steps();
    }
}

bool BulkTransfer::start() {
    Model& m = path_.model();
    // The device network values travel only on the serial line, which is always ready.
    if (kind_ != BulkKind::network_read && !path_.link_ready()) {
        warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    if (m.bulk_active != 0) return false;
    m.bulk_active = 1;
    period_ms_ = initial_period_ms();
    return true;
}

BulkTick BulkTransfer::tick() {
    Model& m = path_.model();
    BulkTick out;
    const int n = m.bulk_active;
    if (n == 0) {  // a tick left over after the end
        out.state = BulkTick::State::finished;
        return out;
    }
    if (m.answer_error != 0) {
        m.answer_error = 0;
        m.bulk_active = 0;
        out.state = BulkTick::State::stopped;
        out.enable_close = true;
        return out;
    }

    step(n, out);
    if (out.state != BulkTick::State::running) return out;
    out.progress_step = true;
    m.bulk_active = n + 1;

    const int total = total_steps();
    if (kind_ == BulkKind::titles_store || kind_ == BulkKind::titles_no_memory ||
        kind_ == BulkKind::set_all) {
        out.percent = n * 100 / total;
    } else if (kind_ == BulkKind::read_settings) {
        out.percent = n * 100 / (kReadSteps + 1);
    }
    if (kind_ == BulkKind::network_read) {
        if (n + 1 == kNetworkReads + 1) out.enable_close = true;
        return out;
    }
    if (n + 1 > total) {
        m.bulk_active = 0;
        out.state = BulkTick::State::finished;
        out.enable_close = true;
        out.reset_progress = true;
        out.blank_percent = out.percent.has_value();
        out.close_dialog = kind_ == BulkKind::set_all || kind_ == BulkKind::read_settings;
    }
    return out;
}

void BulkTransfer::step(int n, BulkTick& out) {
    Model& m = path_.model();
    auto send = [&](auto&& fn) {
        fn();
        out.sent = true;
    };
    switch (kind_) {
        case BulkKind::titles_store:
        case BulkKind::titles_no_memory: {
            const int store = kind_ == BulkKind::titles_store ? 1 : 0;
            if (const char* refused = send_title(path_, store, n - 1)) {
                // Setting the flag first makes the next tick end the transfer.
                m.answer_error = 1;
                warning_box(path_.ui(), refused);
            } else {
                out.sent = true;
            }
            break;
        }
        case BulkKind::display_lines:
            send([&] { send_display_line(path_, n - 1); });
            break;
        case BulkKind::switch_time_lines:
            send([&] { send_switch_times_line(path_, n - 1); });
            break;
        case BulkKind::set_all:
            if (n <= 256) {
                if (const char* refused = send_title(path_, 1, n - 1)) {
                    m.answer_error = 1;
                    warning_box(path_.ui(), refused);
                } else {
                    out.sent = true;
                }
            } else if (n == 257 || n == 262) {
                // The commands after the titles take the device longer.
                period_ms_ = 1200;
                out.period_ms = 1200;
            } else if (n <= 261) {
                send([&] { send_switch_times_line(path_, n - 258); });
            } else if (n <= 266) {
                send([&] { send_display_line(path_, n - 263); });
            } else if (n == 267) {
                send([&] { send_white_level(path_); });
            } else if (n == 268) {
                send([&] { send_edge_level(path_); });
            } else if (n <= 272) {
                send([&] { send_startup_page(path_, n - 269); });
            } else if (n <= 276) {
                send([&] { send_position(path_, n - 273); });
            } else if (n <= 280) {
                send([&] { send_page_switch(path_, n - 277); });
            }
            break;
        case BulkKind::read_settings:
            if (auto body = read_settings_body(n)) send([&] { path_.send_command(*body); });
            break;
        case BulkKind::network_read:
            if (n <= kNetworkReads) {
                send([&] { send_network_command(path_, body_network_read(n)); });
            } else {
                m.bulk_active = 0;
                out.state = BulkTick::State::finished;
                out.reset_progress = true;
                out.refresh = true;
            }
            break;
    }
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

bool GlyphBulk::start_register() {
    Model& m = path_.model();
    if (!path_.confirm_not_switching()) return false;
    if (!path_.link_ready()) {
        warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    if (m.bulk_active != 0) return false;
    m.glyph_index = 0;
    registering_ = true;
    m.glyph_bulk_active = 1;
    return true;
}

bool GlyphBulk::start_read() {
    Model& m = path_.model();
    if (!path_.link_ready()) {
        warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    if (m.bulk_active != 0) return false;
    m.glyph_index = 0;
    registering_ = false;
    m.glyph_bulk_active = 1;
    return true;
}

GlyphBulk::Tick GlyphBulk::tick() {
    Model& m = path_.model();
    Tick out;
    if (m.glyph_bulk_active == 0) {
        out.finished = true;
        return out;
    }
    if (m.glyph_index < 0) m.glyph_index = 0;
    if (m.glyph_index < kGlyphs) {
        if (registering_) {
            path_.send_command(body_glyph_register(m.glyph_index + 1, m.glyph_data[m.glyph_index]));
            ++m.glyph_index;
            out.sent = true;
        } else if (m.glyph_request_pending == 0) {
            // The next request waits for the answer to this one.
            m.glyph_request_pending = 1;
            path_.send_command(body_read_request(glyph_bulk_code(m.glyph_index)));
            out.sent = true;
        }
    }
    out.percent_text = percent_text(m.glyph_index < kGlyphs ? m.glyph_index : kGlyphs);
    if (m.glyph_index >= kGlyphs) {
        m.glyph_index = 0;
        m.glyph_bulk_active = 0;
        out.finished = true;
        out.percent_text = "   ";
    }
    return out;
}

}  // namespace tqv
