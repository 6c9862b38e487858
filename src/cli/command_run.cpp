#include "cli/command_run.h"

#include <QSerialPort>
#include <algorithm>
#include <cstdio>

#include "cli/show.h"
#include "control/cue_show.h"
#include "core/vocabulary.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"

namespace tqv::cli {

CommandRun::CommandRun(const Options& options, Channel& link, CliUi& ui, Console& console,
                       std::string output_file, QObject* parent)
    : QObject(parent),
      options_(options),
      link_(link),
      ui_(ui),
      console_(console),
      output_file_(std::move(output_file)) {
    guard_.setSingleShot(true);
    // Every exchange ends by itself within the answer time-out; a link that shows no sign
    // of life for much longer than that is given up.
    guard_.setInterval(SendPath::kExchangeGuardMs);
    connect(&guard_, &QTimer::timeout, this,
            [this] { fail("tqv7310nx-cli: the link gave no sign of life; giving up"); });
}

CommandRun::~CommandRun() = default;

void CommandRun::start() {
    Model& m = link_.model();
    failures_at_start_ = ui_.failures();
    m.slave_address_index = options_.slave_address_index;

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
        case Command::cue:
            start_cue();
            break;
        case Command::show:
        case Command::serve:
        case Command::preview:
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
        case Command::startup:
        case Command::title: {
            const auto kind = options_.command == Command::page      ? Operation::Kind::page
                              : options_.command == Command::startup ? Operation::Kind::startup
                                                                     : Operation::Kind::title;
            const ParsedOperation op = make_operation(kind, options_.line, options_.page,
                                                      options_.text, !options_.no_memory,
                                                      Language::japanese);
            if (!op.operation) {
                warning_box(ui_, op.error);
                break;
            }
            apply_operation(m, *op.operation);
            path.send_command(operation_body(*op.operation));
            break;
        }
        default:
            break;
    }
    await_idle([this] { complete(); });
}

void CommandRun::start_bulk(BulkKind kind, std::vector<SettingDifference> changes) {
    auto steps = std::make_unique<BulkTransfer>(kind);
    steps->set_changes(std::move(changes));
    start_run(std::move(steps));
}

void CommandRun::start_glyphs(bool registering) {
    if (registering && !link_.send_path().confirm_not_switching()) {
        fail("tqv7310nx-cli: the transfer did not start");
        return;
    }
    start_run(std::make_unique<GlyphBulk>(registering));
}

void CommandRun::start_run(std::unique_ptr<RunSteps> steps) {
    const bool glyphs = steps->glyph_run();
    driver_ = std::make_unique<RunDriver>(link_, this);
    connect(driver_.get(), &RunDriver::stepped, this,
            [this, glyphs](int step, int total, int percent) {
                if (glyphs) {
                    show_progress(double(step) / total, GlyphBulk::percent_text(step) + "%");
                    return;
                }
                const double fraction = std::min(1.0, double(step) / std::max(total, 1));
                if (percent < 0) percent = int(fraction * 100);
                show_progress(fraction, (percent < 10    ? "  "
                                         : percent < 100 ? " "
                                                         : "") +
                                            std::to_string(percent) + "%");
            });
    connect(driver_.get(), &RunDriver::ended, this,
            [this](RunEnd why) { run_ended(why == RunEnd::completed); });
    if (!driver_->start(std::move(steps), fast_)) {
        // The run has said why (link not ready); a transfer already running cannot be.
        fail("tqv7310nx-cli: the transfer did not start");
        return;
    }
    if (driver_->running()) show_progress(0, glyphs ? GlyphBulk::percent_text(0) + "%" : "  0%");
}

void CommandRun::start_cue() {
    std::vector<Cue> cues;
    CueFileError error;
    if (!load_cue_file(options_.file, cues, error)) {
        fail("tqv7310nx-cli: " + options_.file + ": " + error.message());
        return;
    }
    const std::size_t count = cues.size();
    if (std::size_t(options_.cue_number) > count) {
        fail("tqv7310nx-cli: no cue " + std::to_string(options_.cue_number) + " (the file has " +
             std::to_string(count) + ")");
        return;
    }
    cues_ = std::make_unique<CueShow>(link_, this);
    cues_->load(std::move(cues));
    const CueShow::Go go =
        cues_->fire(std::size_t(options_.cue_number - 1), [this](const CueOutcome& o) {
            const std::string total = std::to_string(o.steps.size());
            for (std::size_t i = 0; i < o.steps.size(); ++i)
                console_.report(std::to_string(i + 1) + "/" + total + " " + o.steps[i] + ": " +
                                step_state_name(o.states[i]));
            if (o.ok()) {
                await_idle([this] { complete(); });
            } else {
                fail(o.message);
            }
        });
    if (go != CueShow::Go::started) fail(std::string("tqv7310nx-cli: ") + CueShow::go_text(go));
}

void CommandRun::run_ended(bool completed) {
    // The run has said how it ended (its message is out when it ended early).
    if (!completed) {
        halt();
        return;
    }
    const bool glyphs = driver_->steps() != nullptr && driver_->steps()->glyph_run();
    show_progress(1.0, glyphs ? GlyphBulk::percent_text(GlyphBulk::kGlyphs) + "%" : "100%");
    await_idle([this] { complete(); });
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
    return path.idle();
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
    // A run still under way ends here (the tool's own failure); it says where.
    if (driver_) driver_->stop();
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
    const auto* read = static_cast<const BulkTransfer*>(driver_->steps());
    std::vector<SettingDifference> changes = compare_settings(link_.model(), read->device_settings());
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
    guard_.stop();
    then_ = nullptr;
    console_.end_progress();
    // A run still under way ends quietly with the tool.
    if (driver_) driver_->disconnect(this);
    // Queued: the receiver may delete this run.
    QMetaObject::invokeMethod(
        this, [this, ok] { emit done(ok); }, Qt::QueuedConnection);
}

}  // namespace tqv::cli
