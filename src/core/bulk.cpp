#include "bulk.h"

#include <algorithm>

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
        case BulkKind::compare_read: return 400;
        case BulkKind::send_changes: return 600;
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
        case BulkKind::read_settings:
        case BulkKind::compare_read: return kReadSteps;
        case BulkKind::network_read: return kNetworkReads;
        case BulkKind::send_changes: return int(changes_.size());
    }
    return 0;
}

int BulkTransfer::paced_remaining_ms(int next_step) const {
    int ms = 0;
    for (int n = std::max(next_step, 1); n <= total_steps(); ++n) {
        // Set all items slows down from step 257 on, for the commands after the titles.
        ms += kind_ == BulkKind::set_all && n > 257 ? 1200 : initial_period_ms();
    }
    return ms;
}

bool answer_paced(const Model& m) {
    const bool unanswered =
        m.interface_kind == 0 && m.address_prefix_on == 1 && m.slave_address_index >= kBroadcastIndex;
    return m.fast_transfer == 1 && !unanswered;
}

std::string remaining_text(int ms) {
    const int s = std::max(0, (ms + 999) / 1000);
    return "残り " + std::to_string(s / 60) + ":" + two_digits(s % 60);
}

int BulkTransfer::progress_range() const {
    switch (kind_) {
        case BulkKind::display_lines:
        case BulkKind::switch_time_lines: return 3;
        case BulkKind::read_settings:
        case BulkKind::compare_read: return kReadSteps + 1;
        default: return total_steps();
    }
}

BulkTransfer::BulkTransfer(SendPath& path, BulkKind kind)
    : path_(path), kind_(kind), run_(path.ui()) {
    run_.on_end = [this](RunEnd why) { ended(why); };
}

BulkTransfer::~BulkTransfer() {
    if (!run_.running()) return;
    // Destroyed during a run (its dialog went away): no later transfer may find it running.
    path_.detach_run(run_);
    path_.model().bulk_active = 0;
    if (kind_ == BulkKind::compare_read) document_.put(path_.model());
}

bool BulkTransfer::start() {
    Model& m = path_.model();
    // The device network values travel only on the serial line, which is always ready.
    if (kind_ != BulkKind::network_read && !path_.link_ready()) {
        warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    if (m.bulk_active != 0 || m.glyph_bulk_active != 0 || path_.run() != nullptr) return false;
    // An error answer to an earlier single command must not end this run before it starts.
    m.answer_error = 0;
    m.bulk_active = 1;
    period_ms_ = initial_period_ms();
    // The answers are applied to the model as always; the document's own values are kept
    // aside and put back when the run ends, however it ends.
    if (kind_ == BulkKind::compare_read) document_ = SettingsBlock::of(m);
    // The completion messages the operator knows: the last title read, and the version
    // number that ends the device network read.
    if (kind_ == BulkKind::read_settings) {
        run_.begin(path_.next_run_id(), total_steps(), text::kSocketReadOk);
    } else if (kind_ == BulkKind::network_read) {
        run_.begin(path_.next_run_id(), total_steps(), text::kSuccess, text::kDoneCaption);
    } else {
        run_.begin(path_.next_run_id(), total_steps(), "");
    }
    path_.attach_run(run_);
    return true;
}

void BulkTransfer::stop() { run_.stop(); }

void BulkTransfer::ended(RunEnd why) {
    Model& m = path_.model();
    m.bulk_active = 0;
    m.answer_error = 0;
    if (kind_ == BulkKind::compare_read) {
        device_ = SettingsBlock::of(m);
        document_.put(m);
    }
    BulkTick out;
    out.enable_close = true;
    out.refresh = kind_ == BulkKind::network_read;
    if (why == RunEnd::completed) {
        out.state = BulkTick::State::finished;
        out.reset_progress = true;
        out.blank_percent = kind_ != BulkKind::display_lines &&
                            kind_ != BulkKind::switch_time_lines &&
                            kind_ != BulkKind::network_read;
        out.close_dialog = kind_ == BulkKind::set_all || kind_ == BulkKind::read_settings;
    } else {
        // The percentage and the bar stay where the run ended.
        out.state = BulkTick::State::stopped;
    }
    if (on_end) on_end(out);
}

BulkTick BulkTransfer::tick() {
    Model& m = path_.model();
    BulkTick out;
    const int n = m.bulk_active;
    if (!run_.running() || n == 0) {  // a tick left over after the end
        out.state = run_.end() == RunEnd::completed || run_.end() == RunEnd::none
                        ? BulkTick::State::finished
                        : BulkTick::State::stopped;
        return out;
    }
    const int total = total_steps();
    if (n > total) {  // every step is out; the last answers are still to come
        out.state = BulkTick::State::waiting;
        return out;
    }

    run_.at_step(n);
    step(n, out);
    if (!run_.running()) {
        // The step itself ended the run (a refused title, a link that is gone); the
        // step's percentage is still shown.
        out.state = BulkTick::State::stopped;
    } else if (!out.sent) {
        run_.step_without_command();
    }
    out.progress_step = true;
    if (kind_ == BulkKind::titles_store || kind_ == BulkKind::titles_no_memory ||
        kind_ == BulkKind::set_all) {
        out.percent = n * 100 / total;
    } else if (kind_ == BulkKind::send_changes) {
        out.percent = n * 100 / total;
    } else if (kind_ == BulkKind::read_settings || kind_ == BulkKind::compare_read) {
        out.percent = n * 100 / (kReadSteps + 1);
    }
    if (out.state != BulkTick::State::running) return out;
    m.bulk_active = n + 1;
    if (n == total) {
        run_.all_steps_out();
        out.state = run_.running() ? BulkTick::State::waiting : BulkTick::State::finished;
    }
    return out;
}

void BulkTransfer::step(int n, BulkTick& out) {
    // A title the device cannot show is refused: the run ends with the JIS warning, naming
    // the title's command.
    auto refuse_or_sent = [this](const char* refused, int t, int store, BulkTick& o) {
        if (refused == nullptr) {
            o.sent = true;
            return;
        }
        const int line = t / kPages;
        std::string label = store == 1 ? "CT" : "CN";
        label += line < 2 ? "01" : "02";
        label += line % 2 == 0 ? 'T' : 'B';
        label += two_digits(t % kPages + 1);
        run_.refuse(label, refused);
    };
    auto send = [&](auto&& fn) {
        fn();
        out.sent = true;
    };
    switch (kind_) {
        case BulkKind::titles_store:
        case BulkKind::titles_no_memory: {
            const int store = kind_ == BulkKind::titles_store ? 1 : 0;
            refuse_or_sent(send_title(path_, store, n - 1), n - 1, store, out);
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
                refuse_or_sent(send_title(path_, 1, n - 1), n - 1, 1, out);
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
        case BulkKind::compare_read:
            if (auto body = read_settings_body(n)) send([&] { path_.send_command(*body); });
            break;
        case BulkKind::send_changes: {
            const SettingDifference& d = changes_[std::size_t(n - 1)];
            if (d.body.empty()) {
                run_.refuse(d.label, text::kNotJis);
                break;
            }
            // Titles are taken at the set-all pace, the other commands take the device longer.
            const int period = d.label.starts_with("CT") && !d.label.starts_with("CTD") ? 600 : 1200;
            if (period != period_ms_) out.period_ms = period_ms_ = period;
            send([&] { path_.send_command(d.body); });
            break;
        }
        case BulkKind::network_read:
            send([&] { send_network_command(path_, body_network_read(n)); });
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

GlyphBulk::~GlyphBulk() {
    if (!run_.running()) return;
    path_.detach_run(run_);
    Model& m = path_.model();
    m.glyph_bulk_active = 0;
    m.glyph_request_pending = 0;
    m.glyph_index = 0;
}

bool GlyphBulk::start_register() {
    if (!path_.confirm_not_switching()) return false;
    return start(true);
}

bool GlyphBulk::start_read() { return start(false); }

bool GlyphBulk::start(bool registering) {
    Model& m = path_.model();
    if (!path_.link_ready()) {
        warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    if (m.bulk_active != 0 || m.glyph_bulk_active != 0 || path_.run() != nullptr) return false;
    m.answer_error = 0;
    m.glyph_index = 0;
    m.glyph_request_pending = 0;
    registering_ = registering;
    m.glyph_bulk_active = 1;
    run_.on_end = [this](RunEnd why) { ended(why); };
    run_.begin(path_.next_run_id(), kGlyphs, "");
    path_.attach_run(run_);
    return true;
}

void GlyphBulk::stop() { run_.stop(); }

void GlyphBulk::ended(RunEnd why) {
    Model& m = path_.model();
    m.glyph_index = 0;
    m.glyph_bulk_active = 0;
    m.glyph_request_pending = 0;
    m.answer_error = 0;
    if (on_end) on_end(why);
}

GlyphBulk::Tick GlyphBulk::tick() {
    Model& m = path_.model();
    Tick out;
    if (!run_.running()) {
        out.finished = true;
        out.percent_text = "   ";
        return out;
    }
    if (m.glyph_index < 0) m.glyph_index = 0;
    const int index = m.glyph_index;
    if (index < kGlyphs) {
        if (registering_) {
            run_.at_step(index + 1);
            path_.send_command(body_glyph_register(index + 1, m.glyph_data[index]));
            if (run_.running()) ++m.glyph_index;
            out.sent = true;
            if (index + 1 == kGlyphs) run_.all_steps_out();
        } else if (m.glyph_request_pending == 0) {
            // The next request waits for the answer to this one.
            run_.at_step(index + 1);
            m.glyph_request_pending = 1;
            path_.send_command(body_read_request(glyph_bulk_code(index)));
            out.sent = true;
            if (index + 1 == kGlyphs) run_.all_steps_out();
        }
    }
    if (!run_.running()) {
        out.finished = true;
        // A run that completed on this tick blanks the box; one that ended early keeps
        // what it reached.
        out.percent_text = run_.end() == RunEnd::completed ? "   " : percent_text(index);
        return out;
    }
    out.percent_text = percent_text(m.glyph_index < kGlyphs ? m.glyph_index : kGlyphs);
    return out;
}

}  // namespace tqv
