// The run panel every bulk transfer of the dialogs shares: the progress bar, the percentage
// box, "残り", "高速転送", "中止" and Close, all showing what the run driver reports. The step
// tables, the pace, the waits and the run's end are the core's and the driver's; this only
// shows them, and the dialogs decide what a run's end does to them.
#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "core/bulk.h"
#include "dialogs/model_dialog.h"
#include "link/run_driver.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tqv {

class BulkRunner : public QObject {
    Q_OBJECT
  public:
    // `kind` is the transfer start() runs and the one whose progress range the bar gets.
    BulkRunner(QDialog& dialog, AppContext& context, BulkKind kind);
    ~BulkRunner() override;

    // The widgets the run drives, created on first use and owned by the dialog.
    QProgressBar* progress_bar();
    QLineEdit* percent_box();
    // The percentage box followed by its "％" and the time left.
    QWidget* percent_row();
    // "Close": disabled during a run; pressing it asks the dialog to reject().
    QPushButton* close_button();
    // "中止": enabled only while a run is under way; ends it at once.
    QPushButton* stop_button();
    // "高速転送": runs send each command once the answer to the one before is in
    // (fast_transfer, remembered in the configuration file). Greyed during a run, whose
    // pace is chosen when it starts.
    QCheckBox* fast_box();
    // "残り 2:41" while a run is under way; as wide when idle, so the layout stays still.
    QLabel* remaining_label();

    // The start button: link-ready test and the guard against a second transfer are the
    // run's. True when the run started.
    bool start();
    bool start(BulkKind kind);
    // A run of send_changes over `changes`.
    bool start_changes(std::vector<SettingDifference> changes);
    // The transfer of the last start; nullptr before.
    const BulkTransfer* transfer() const;
    // The fixed pace's timer has fired: tests call it instead of waiting.
    void tick() { driver_.pace_elapsed(); }
    // The operator's "中止".
    void stop() { driver_.stop(); }
    RunDriver& driver() { return driver_; }

    // Progress of runs driven elsewhere (the push to every device): `out` of `total`
    // steps, and the time left.
    void show_progress(int out, int total, std::optional<int> remaining_ms);
    void show_push_running(bool running);

    // From the start until the run has ended, including the wait for its last answers.
    bool running() const { return driver_.running(); }
    bool answer_paced() const { return driver_.run() != nullptr && driver_.run()->answer_paced(); }
    BulkKind kind() const { return kind_; }

  signals:
    // The run has ended and the panel shows it.
    void ended(tqv::RunEnd why);

  private:
    bool start(std::unique_ptr<BulkTransfer> transfer);
    void show_running(bool running);
    void show_step(int step, int percent);
    void show_end(RunEnd why);
    void show_remaining();

    QDialog& dialog_;
    AppContext& context_;
    BulkKind kind_;
    RunDriver driver_;
    QTimer remaining_ticks_;  // the time left moves on between steps too
    QProgressBar* bar_ = nullptr;
    QLineEdit* percent_ = nullptr;
    QWidget* percent_row_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* stop_ = nullptr;
    QCheckBox* fast_box_ = nullptr;
    QLabel* remaining_ = nullptr;
    std::optional<int> pushed_remaining_;
    bool pushing_ = false;
};

// A settings dialog with one bulk transfer: Close, Escape and the close box are ignored
// while the transfer runs.
class BulkDialog : public ModelDialog {
    Q_OBJECT
  public:
    BulkRunner& bulk() { return bulk_; }
    void tick() { bulk_.tick(); }
    // True while this dialog's transfer is under way, including the wait for its last
    // answers.
    bool bulk_busy() const;

    void reject() override;

  protected:
    BulkDialog(AppContext& context, QWidget* parent, const QString& caption, BulkKind kind);

  private:
    BulkRunner bulk_;
};

}  // namespace tqv
