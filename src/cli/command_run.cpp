#include "cli/command_run.h"

#include <QSerialPort>
#include <algorithm>
#include <cstdio>

#include "cli/show.h"
#include "core/codec.h"
#include "core/commands.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"

namespace tqv::cli {

namespace {

// Every exchange ends by itself within the answer time-out (seven 500 ms ticks); a link
// that shows no sign of life for much longer than that is given up.
constexpr int kSettleGuardMs = 15000;

}  // namespace

CommandRun::CommandRun(const Options& options, Channel& link, CliUi& ui, Console& console,
                       std::string output_file, QObject* parent)
    : QObject(parent),
      options_(options),
      link_(link),
      ui_(ui),
      console_(console),
      output_file_(std::move(output_file)) {
    pace_.setTimerType(Qt::PreciseTimer);
    connect(&pace_, &QTimer::timeout, this, &CommandRun::step);
    guard_.setSingleShot(true);
    guard_.setInterval(kSettleGuardMs);
    connect(&guard_, &QTimer::timeout, this,
            [this] { fail("tqv7310nx-cli: the link gave no sign of life; giving up"); });
}

CommandRun::~CommandRun() = default;

void CommandRun::start() {
    Model& m = link_.model();
    failures_at_start_ = ui_.failures();
    m.answer_error = 0;
    m.answer_pending = 0;
    m.pending_ticks = 0;
    m.slave_address_index = options_.slave_address_index;
    m.address_prefix_on = 1;

    // Nothing answers a broadcast on the serial line: there is nothing to wait for.
    const bool unanswered = m.interface_kind == 0 &&
                            options_.slave_address_index >= kBroadcastIndex &&
                            options_.command != Command::network_show;
    fast_ = options_.fast && !unanswered;

    switch (options_.command) {
        case Command::push:
            comparing_ = options_.changed_only;
            start_bulk(options_.changed_only ? BulkKind::compare_read : BulkKind::set_all);
            break;
        case Command::diff:
            comparing_ = true;
            start_bulk(BulkKind::compare_read);
            break;
        case Command::pull:
            // Every value of the document is read; a fresh model keeps one device's answers
            // from standing in for another's.
            m.reset();
            m.slave_address_index = options_.slave_address_index;
            m.address_prefix_on = 1;
            start_bulk(BulkKind::read_settings);
            break;
        case Command::network_show:
            start_bulk(BulkKind::network_read);
            break;
        case Command::glyphs_push:
            start_glyphs(true);
            break;
        case Command::glyphs_pull:
            start_glyphs(false);
            break;
        case Command::send:
        case Command::page:
        case Command::startup:
        case Command::title:
            send_single();
            break;
        case Command::show:
        case Command::serve:
            end(true);
            break;  // no run: handled before any link, or by the session
    }
}

void CommandRun::send_single() {
    Model& m = link_.model();
    SendPath& path = link_.send_path();
    switch (options_.command) {
        case Command::send:
            path.send_command(options_.body + "\r\n");
            break;
        case Command::page:
            m.current_page[options_.line] = options_.page;
            send_page_switch(path, options_.line);
            break;
        case Command::startup:
            m.startup_page[options_.line] = options_.page;
            send_startup_page(path, options_.line);
            break;
        case Command::title: {
            const auto bytes = utf8_to_cp932(options_.text);
            if (!bytes) {
                warning_box(ui_, text::kNotJis);
                break;
            }
            set_slot_text(m.title(options_.line, options_.page), *bytes);
            m.selected_title_line = options_.line;
            m.selected_page = options_.page;
            send_title_single(path, options_.no_memory ? 0 : 1);
            break;
        }
        default:
            break;
    }
    await_idle([this] { complete(); });
}

void CommandRun::start_bulk(BulkKind kind, std::vector<SettingDifference> changes) {
    run_over_ = false;
    steps_done_ = 0;
    bulk_ = std::make_unique<BulkTransfer>(link_.send_path(), kind);
    bulk_->set_changes(std::move(changes));
    bulk_->on_end = [this](const BulkTick& t) {
        run_ended(t.state == BulkTick::State::finished);
    };
    if (!bulk_->start()) {
        // The core has said why (link not ready); a transfer already running cannot be.
        fail("tqv7310nx-cli: the transfer did not start");
        return;
    }
    show_progress(0, "  0%");
    if (fast_) {
        QMetaObject::invokeMethod(this, &CommandRun::step, Qt::QueuedConnection);
    } else {
        pace_.start(bulk_->period_ms());
    }
}

void CommandRun::start_glyphs(bool registering) {
    glyphs_ = std::make_unique<GlyphBulk>(link_.send_path());
    glyphs_->on_end = [this](RunEnd why) { run_ended(why == RunEnd::completed); };
    const bool started = registering ? glyphs_->start_register() : glyphs_->start_read();
    if (!started) {
        fail("tqv7310nx-cli: the transfer did not start");
        return;
    }
    show_progress(0, GlyphBulk::percent_text(0) + "%");
    if (fast_) {
        QMetaObject::invokeMethod(this, &CommandRun::step, Qt::QueuedConnection);
    } else {
        pace_.start(glyphs_->period_ms());
    }
}

void CommandRun::step() {
    if (ended_ || halted_) return;
    if (bulk_) {
        bulk_step();
    } else if (glyphs_) {
        glyph_step();
    }
}

void CommandRun::run_ended(bool completed) {
    // The run has said how it ended (its message is out when it ended early).
    run_over_ = true;
    pace_.stop();
    if (!completed) {
        halt();
        return;
    }
    if (bulk_) show_progress(1.0, "100%");
    if (glyphs_) show_progress(1.0, GlyphBulk::percent_text(GlyphBulk::kGlyphs) + "%");
    await_idle([this] { complete(); });
}

void CommandRun::bulk_step() {
    const BulkTick t = bulk_->tick();
    if (run_over_) return;
    if (t.progress_step) ++steps_done_;
    const double fraction = std::min(1.0, double(steps_done_) / bulk_->total_steps());
    const int percent = t.percent ? *t.percent : int(fraction * 100);
    show_progress(fraction, (percent < 10    ? "  "
                             : percent < 100 ? " "
                                             : "") +
                                std::to_string(percent) + "%");
    if (t.state != BulkTick::State::running) {
        // Every step is out: the run ends when the last answer is in.
        pace_.stop();
        return;
    }
    next_step(t.sent, t.period_ms);
}

void CommandRun::glyph_step() {
    Model& m = link_.model();
    if (!glyphs_->registering() && requested_glyph_ >= 0 && m.glyph_request_pending == 0 &&
        m.glyph_index == requested_glyph_) {
        // Answered, but not with a glyph: asking again would get the same answer forever.
        char message[96];
        std::snprintf(message, sizeof message,
                      "tqv7310nx-cli: glyph %02d: the answer held no glyph", requested_glyph_ + 1);
        fail(message);
        return;
    }
    const int index_before = m.glyph_index;
    const GlyphBulk::Tick t = glyphs_->tick();
    if (run_over_ || t.finished) return;
    if (t.sent && !glyphs_->registering()) requested_glyph_ = index_before;
    const int done = m.glyph_index;
    show_progress(double(done) / GlyphBulk::kGlyphs, GlyphBulk::percent_text(done) + "%");
    if (glyphs_->registering() && done >= GlyphBulk::kGlyphs) {
        pace_.stop();  // every glyph is out; the run ends with the last answer
        return;
    }
    next_step(t.sent, 0);
}

void CommandRun::next_step(bool sent, int period_ms) {
    if (!fast_) {
        if (period_ms != 0) pace_.start(period_ms);
        return;
    }
    if (sent) {
        await_idle([this] { step(); });
    } else if (glyphs_ && !glyphs_->registering()) {
        // A glyph read that sent nothing is still waiting for a glyph: the dialog's pace.
        QTimer::singleShot(glyphs_->period_ms(), this, &CommandRun::step);
    } else {
        QMetaObject::invokeMethod(this, &CommandRun::step, Qt::QueuedConnection);
    }
}

void CommandRun::show_progress(double fraction, const std::string& label) {
    console_.progress(fraction, label);
}

void CommandRun::await_idle(std::function<void()> then) {
    then_ = std::move(then);
    guard_.start();
    link_event();
}

bool CommandRun::exchange_idle() const {
    const Model& m = link_.model();
    if (m.interface_kind == 0) return m.answer_pending == 0 && !link_.bytes_pending();
    const SendPath& path = link_.send_path();
    return !path.tcp_in_flight() && path.tcp_queued() == 0;
}

void CommandRun::link_event() {
    if (ended_) return;
    // Any sign of life gives a wait its full time again.
    if (then_) guard_.start();
    if (evaluate_queued_) return;
    evaluate_queued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            evaluate_queued_ = false;
            evaluate();
        },
        Qt::QueuedConnection);
}

bool CommandRun::failed() const { return own_failure_ || ui_.failures() > failures_at_start_; }

void CommandRun::evaluate() {
    if (ended_) return;
    if (failed() && !halted_) {
        halt();
        return;
    }
    if (then_ && exchange_idle()) {
        guard_.stop();
        auto then = std::move(then_);
        then_ = nullptr;
        then();
    }
}

void CommandRun::halt() {
    if (halted_) return;
    halted_ = true;
    pace_.stop();
    // A run still under way ends here (the tool's own failure); it says where.
    if (bulk_ && bulk_->running()) bulk_->stop();
    if (glyphs_ && glyphs_->running()) glyphs_->stop();
    Model& m = link_.model();
    if (bulk_) m.bulk_active = 0;
    if (glyphs_) {
        m.glyph_bulk_active = 0;
        m.glyph_request_pending = 0;
        m.glyph_index = 0;
    }
    // The command already on its way still gets its answer (or time-out) before the end,
    // so that no stray answer is taken for the next device's.
    await_idle([this] { end(false); });
}

void CommandRun::fail(const std::string& message) {
    if (ended_) return;
    console_.message(message);
    own_failure_ = true;
    if (halted_) {
        // Even the wait after the halt did not end: stop here.
        end(false);
        return;
    }
    halt();
}

void CommandRun::complete() {
    if (failed()) {
        end(false);
        return;
    }
    if (comparing_) {
        compared();
        return;
    }
    Model& m = link_.model();
    switch (options_.command) {
        case Command::pull:
            if (!save_document(m, output_file_)) {
                warning_box(ui_, text::kCantFileOpen);
                end(false);
                return;
            }
            break;
        case Command::glyphs_pull:
            if (!save_glyph_list(m, output_file_)) {
                error_box(ui_, text::kCantFileOpen);
                end(false);
                return;
            }
            break;
        case Command::network_show: {
            const std::string text = network_text(m);
            std::size_t begin = 0;
            for (std::size_t end = text.find('\n'); end != std::string::npos;
                 begin = end + 1, end = text.find('\n', begin)) {
                console_.report(std::string_view(text).substr(begin, end - begin));
            }
            break;
        }
        default:
            break;
    }
    end(true);
}

void CommandRun::compared() {
    comparing_ = false;
    console_.end_progress();
    std::vector<SettingDifference> changes =
        compare_settings(link_.model(), bulk_->device_settings());
    if (options_.command == Command::diff) {
        for (const SettingDifference& d : changes) console_.report(difference_line(d));
        end(changes.empty());
        return;
    }
    if (changes.empty()) {
        console_.message("tqv7310nx-cli: the device holds the document; nothing sent");
        end(true);
        return;
    }
    start_bulk(BulkKind::send_changes, std::move(changes));
}

void CommandRun::end(bool ok) {
    if (ended_) return;
    ended_ = true;
    pace_.stop();
    guard_.stop();
    then_ = nullptr;
    console_.end_progress();
    Model& m = link_.model();
    if (bulk_) m.bulk_active = 0;
    if (glyphs_) m.glyph_bulk_active = 0;
    // Queued: the receiver may delete this run.
    QMetaObject::invokeMethod(
        this, [this, ok] { emit done(ok); }, Qt::QueuedConnection);
}

}  // namespace tqv::cli
