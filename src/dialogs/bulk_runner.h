// The plumbing every timed bulk transfer of the settings dialogs shares: the dialog's
// QTimer driving the core's BulkTransfer one step per tick, and what each tick shows (the
// progress bar, the percentage box, the Close button, the dialog ending itself). The step
// tables, the stop at the first error and the percentages are the core's; this only shows
// them.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>

#include "dialogs/model_dialog.h"
#include "core/bulk.h"

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
    // A dialog destroyed during a run must not leave bulk_active set: every later bulk
    // transfer would refuse to start and success boxes would stay suppressed.
    ~BulkRunner() override;

    // The widgets the ticks drive, created on first use and owned by the dialog.
    QProgressBar* progress_bar();
    QLineEdit* percent_box();
    // The percentage box followed by its "％".
    QWidget* percent_row();
    // "Close": disabled during a run; pressing it asks the dialog to reject().
    QPushButton* close_button();
    // "中止": enabled only while a run is under way; ends it at once.
    QPushButton* stop_button();
    // "高速転送": the next run sends each command once the answer to the one before is in
    // (fast_transfer, remembered in the configuration file).
    QCheckBox* fast_box();
    // "残り 2:41" while a run is under way.
    QLabel* remaining_label();
    // True while the run under way is paced by the answers.
    bool answer_paced() const { return fast_; }

    // The start button: link-ready test and the guard against a second transfer are the
    // core's. True when the timer started.
    bool start();
    bool start(BulkKind kind);
    // A run of send_changes over `changes`.
    bool start_changes(std::vector<SettingDifference> changes);
    // The transfer of the last start; nullptr before.
    const BulkTransfer* transfer() const { return transfer_.get(); }
    // One timer tick; the timer calls it, tests call it directly.
    BulkTick tick();
    // The operator's "中止".
    void stop();

    // From the start until the run has ended, including the wait for the last answers.
    bool running() const { return transfer_ != nullptr && transfer_->running(); }
    const QTimer& timer() const { return timer_; }
    BulkKind kind() const { return kind_; }

  signals:
    // The run has ended and the controls show it; `t` says how (refresh, close...).
    void ended(const BulkTick& t);

  private:
    void apply(const BulkTick& t);
    void apply_end(const BulkTick& t);
    void show_running(bool running);
    bool start(std::unique_ptr<BulkTransfer> transfer);
    // Answer-paced: the next step as soon as nothing of this run awaits its answer.
    void next_when_answered();
    void show_remaining();

    QDialog& dialog_;
    AppContext& context_;
    SendPath& path_;
    BulkKind kind_;
    std::unique_ptr<BulkTransfer> transfer_;
    QTimer timer_;
    QProgressBar* bar_ = nullptr;
    QLineEdit* percent_ = nullptr;
    QWidget* percent_row_ = nullptr;
    QPushButton* close_ = nullptr;
    QPushButton* stop_ = nullptr;
    QCheckBox* fast_box_ = nullptr;
    QLabel* remaining_ = nullptr;
    bool fast_ = false;
    bool awaiting_answer_ = false;
    QTimer next_;  // single shot, 0 ms: the answer-paced next step, outside the dispatcher
    QElapsedTimer clock_;
};

// A settings dialog with one bulk transfer: Close, Escape and the close box are ignored
// while the transfer runs.
class BulkDialog : public ModelDialog {
    Q_OBJECT
  public:
    BulkRunner& bulk() { return bulk_; }
    BulkTick tick() { return bulk_.tick(); }
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
