// Paced bulk transfers, one command per tick. A dialog or the command-line tool owns the
// timer and calls tick(); everything else (step tables, stop at the first error answer,
// percentage, the pace changes) lives here so every front end behaves alike.
#pragma once

#include <optional>
#include <string>

#include "send_path.h"

namespace tqv {

enum class BulkKind {
    titles_store,       // "全設定" of the title dialog: 256 "CT", 1000 ms
    titles_no_memory,   // "NM全設定": 256 "CN", 600 ms
    display_lines,      // 4 "CTD" lines, 500 ms
    switch_time_lines,  // 4 "AST" lines, 1200 ms
    set_all,            // 280 steps, 600 ms then 1200 ms
    read_settings,      // 285 steps, 400 ms
    network_read,       // 9 reads + refresh, 200 ms
};

struct BulkTick {
    enum class State { running, stopped, finished };
    State state = State::running;
    std::optional<int> percent;  // new percentage to show
    bool progress_step = false;  // advance the progress bar by one
    int period_ms = 0;           // when not 0: restart the timer with this period
    bool enable_close = false;   // Close may be enabled again (network read: before the end)
    bool close_dialog = false;   // the dialog ends itself (set all, read settings)
    bool blank_percent = false;  // the percentage box is emptied
    bool reset_progress = false; // the progress bar goes back to 0
    bool refresh = false;        // the dialog shows the model again (network read)
    bool sent = false;           // a command went out on this tick
};

class BulkTransfer {
public:
    BulkTransfer(SendPath& path, BulkKind kind) : path_(path), kind_(kind) {}

    // The start button: link-ready test (warning when not ready), nothing while another
    // transfer runs, then bulk_active := 1. True when the timer must start.
    bool start();
    BulkTick tick();

    BulkKind kind() const { return kind_; }
    int period_ms() const { return period_ms_; }
    int initial_period_ms() const;
    int total_steps() const;
    int progress_range() const;  // the progress bar's maximum

private:
    void step(int n, BulkTick& out);

    SendPath& path_;
    BulkKind kind_;
    int period_ms_ = 0;
};

// Step n of the read-settings table (1..285); nullopt for the idle steps 23..29.
std::optional<std::string> read_settings_body(int n);

// The glyph list's bulk register (every 2000 ms) and bulk read (every 400 ms) of glyph
// numbers 01..28.
class GlyphBulk {
public:
    explicit GlyphBulk(SendPath& path) : path_(path) {}

    // "登録": confirmation question, link test, bulk test. True when the timer must start.
    bool start_register();
    // "リード": link test, bulk test.
    bool start_read();
    struct Tick {
        std::string percent_text;  // " 03.5"; three spaces at the end
        bool finished = false;
        bool sent = false;
    };
    Tick tick();
    bool registering() const { return registering_; }
    int period_ms() const { return registering_ ? 2000 : 400; }

    static constexpr int kGlyphs = 28;
    static std::string percent_text(int n);

private:
    SendPath& path_;
    bool registering_ = false;
};

}  // namespace tqv
