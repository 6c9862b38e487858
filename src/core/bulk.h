// Paced bulk transfers, one command per tick. A dialog or the command-line tool owns the
// timer and calls tick(); everything else (step tables, the run's end and its one message,
// percentage, the pace changes) lives here so every front end behaves alike.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "compare.h"
#include "run.h"
#include "send_path.h"

namespace tqv {

enum class BulkKind {
    titles_store,       // "全設定" of the title dialog: 256 "CT", 1000 ms
    titles_no_memory,   // "NM全設定": 256 "CN", 600 ms
    display_lines,      // 4 "CTD" lines, 500 ms
    switch_time_lines,  // 4 "AST" lines, 1200 ms
    set_all,            // 280 steps, 600 ms then 1200 ms
    read_settings,      // 285 steps, 400 ms
    network_read,       // 9 reads, 200 ms; the dialog shows the model again at the end
    compare_read,       // the read_settings steps into a scratch copy; the model's
                        // document values are put back when the run ends
    send_changes,       // one command per difference: 600 ms after a title, 1200 ms else
};

struct BulkTick {
    // running: more steps to come. waiting: every step is out, the run ends when the last
    // answer is in (the timer is no longer needed). stopped / finished: the run has ended.
    enum class State { running, waiting, stopped, finished };
    State state = State::running;
    std::optional<int> percent;  // new percentage to show
    bool progress_step = false;  // advance the progress bar by one
    int period_ms = 0;           // when not 0: restart the timer with this period
    bool enable_close = false;   // Close may be enabled again
    bool close_dialog = false;   // the dialog ends itself (set all, read settings)
    bool blank_percent = false;  // the percentage box is emptied
    bool reset_progress = false; // the progress bar goes back to 0
    bool refresh = false;        // the dialog shows the model again (network read)
    bool sent = false;           // a command went out on this tick
};

class BulkTransfer {
public:
    BulkTransfer(SendPath& path, BulkKind kind);
    ~BulkTransfer();
    BulkTransfer(const BulkTransfer&) = delete;
    BulkTransfer& operator=(const BulkTransfer&) = delete;

    // The start button: link-ready test (warning when not ready), nothing while another
    // transfer runs, then bulk_active := 1. True when the timer must start.
    bool start();
    BulkTick tick();
    // The operator's "中止": the run ends at once.
    void stop();

    // Once, when the run has ended (completed, stopped or by a fault), before its message.
    std::function<void(const BulkTick&)> on_end;

    BulkKind kind() const { return kind_; }
    const Run& run() const { return run_; }
    bool running() const { return run_.running(); }
    int period_ms() const { return period_ms_; }
    int initial_period_ms() const;
    int total_steps() const;
    int progress_range() const;  // the progress bar's maximum
    // The time the steps from `next_step` on take at the fixed pace, in ms.
    int paced_remaining_ms(int next_step) const;

    // send_changes: the differences whose commands go out, set before start().
    void set_changes(std::vector<SettingDifference> changes) { changes_ = std::move(changes); }
    // compare_read: what the device answered, once the run has ended.
    const SettingsBlock& device_settings() const { return device_; }

private:
    void step(int n, BulkTick& out);
    void ended(RunEnd why);

    SendPath& path_;
    BulkKind kind_;
    Run run_;
    int period_ms_ = 0;
    std::vector<SettingDifference> changes_;
    SettingsBlock document_;  // compare_read: the model's values while the run borrows it
    SettingsBlock device_;
};

// Whether a run starting now goes at the pace of the answers: "高速転送" is on and someone
// answers (nobody answers a broadcast on the serial line, which keeps the fixed pace).
bool answer_paced(const Model& m);

// "残り 2:41": the time left of a run, whole seconds rounded up.
std::string remaining_text(int ms);

// Step n of the read-settings table (1..285); nullopt for the idle steps 23..29.
std::optional<std::string> read_settings_body(int n);

// The glyph list's bulk register (every 2000 ms) and bulk read (every 400 ms) of glyph
// numbers 01..28.
class GlyphBulk {
public:
    explicit GlyphBulk(SendPath& path) : path_(path), run_(path.ui()) {}
    ~GlyphBulk();
    GlyphBulk(const GlyphBulk&) = delete;
    GlyphBulk& operator=(const GlyphBulk&) = delete;

    // "登録": confirmation question, link test, bulk test. True when the timer must start.
    bool start_register();
    // The confirmation question of "登録" alone; true for Yes.
    bool confirm_register() { return path_.confirm_not_switching(); }
    // "リード": link test, bulk test.
    bool start_read();
    struct Tick {
        std::string percent_text;  // " 03.5"; three spaces at the end
        bool finished = false;
        bool sent = false;
    };
    Tick tick();
    void stop();
    // Once, when the run has ended, before its message.
    std::function<void(RunEnd)> on_end;

    const Run& run() const { return run_; }
    bool running() const { return run_.running(); }
    bool registering() const { return registering_; }
    int period_ms() const { return registering_ ? 2000 : 400; }

    static constexpr int kGlyphs = 28;
    static std::string percent_text(int n);

private:
    bool start(bool registering);
    void ended(RunEnd why);

    SendPath& path_;
    Run run_;
    bool registering_ = false;
};

}  // namespace tqv
