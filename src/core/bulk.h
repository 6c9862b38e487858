// The step tables of the paced bulk transfers: what each step sends and the pace the
// device has always been given. A Run walks them (run.h); the front ends only show it.
#pragma once

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

class BulkTransfer : public RunSteps {
public:
    explicit BulkTransfer(BulkKind kind) : kind_(kind) {}

    BulkKind kind() const { return kind_; }
    int total() const override;
    StepResult send(SendPath& path, int n) override;
    std::string label(const Model& m, int n) const override;
    int period_ms(int n) const override;
    std::optional<int> percent(int n) const override;
    bool serial_only() const override { return kind_ == BulkKind::network_read; }
    Addressing addressing() const override {
        return kind_ == BulkKind::network_read ? Addressing::bare : Addressing::addressed;
    }
    void begin(Model& m) override;
    void end(Model& m, RunEnd why) override;
    std::string completion_text() const override;
    std::string completion_caption() const override;

    // The progress bar's maximum (the display and switching dialogs count 0..3).
    int progress_range() const;

    // send_changes: the differences whose commands go out, set before the run starts.
    void set_changes(std::vector<SettingDifference> changes) { changes_ = std::move(changes); }
    // compare_read: what the device answered, once the run has ended.
    const SettingsBlock& device_settings() const { return device_; }

private:
    // The command of step n, built from `m`; nullopt for an idle step.
    std::optional<std::string> body(const Model& m, int n) const;

    BulkKind kind_;
    std::vector<SettingDifference> changes_;
    SettingsBlock document_;  // compare_read: the model's values while the run borrows it
    SettingsBlock device_;
};

// Step n of the read-settings table (1..285); nullopt for the idle steps 23..29.
std::optional<std::string> read_settings_body(int n);

// What show control asks a device for when it connects (the page on air, the start-up page
// and the display flags of each line: twelve reads of the read-settings table), or on demand
// (the 256 titles), in the order they go out.
std::vector<std::string> state_read_bodies(bool titles);

// Which value an answered read carried: the page on air, the start-up page, the display
// flags of a line, or one title (`slot` 0..255).
struct ReadItem {
    enum class Kind { page, startup, display, title };
    Kind kind = Kind::page;
    int line = 0;
    int slot = 0;
};
// The item of a read frame as the send path wrote it (with or without the slave address,
// with its line end); nullopt for anything else.
std::optional<ReadItem> read_item(std::string_view frame);

// The glyph list's bulk register (every 2000 ms) and bulk read (every 400 ms, each request
// once the glyph before is in) of glyph numbers 01..28.
class GlyphBulk : public RunSteps {
public:
    explicit GlyphBulk(bool registering) : registering_(registering) {}

    static constexpr int kGlyphs = 28;
    // " 03.5": the glyph list's percentage of n glyphs.
    static std::string percent_text(int n);

    bool registering() const { return registering_; }
    int total() const override { return kGlyphs; }
    StepResult send(SendPath& path, int n) override;
    std::string label(const Model& m, int n) const override;
    int period_ms(int) const override { return registering_ ? 2000 : 400; }
    std::optional<int> percent(int) const override { return std::nullopt; }
    bool each_waits_for_answer() const override { return !registering_; }
    bool glyph_run() const override { return true; }

private:
    bool registering_;
};

}  // namespace tqv
