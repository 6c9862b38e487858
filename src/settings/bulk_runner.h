// The plumbing every timed bulk transfer of the settings dialogs shares: the dialog's
// QTimer driving the core's BulkTransfer one step per tick, and what each tick shows (the
// progress bar, the percentage box, the Close button, the dialog ending itself). The step
// tables, the stop at the first error and the percentages are the core's; this only shows
// them.
#pragma once

#include <QObject>
#include <QTimer>
#include <optional>

#include "app/model_dialog.h"
#include "core/bulk.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tqv {

class BulkRunner : public QObject {
    Q_OBJECT
  public:
    // `kind` is the transfer start() runs and the one whose progress range the bar gets.
    BulkRunner(QDialog& dialog, SendPath& path, BulkKind kind);
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

    // The start button: link-ready test and the guard against a second transfer are the
    // core's. True when the timer started.
    bool start();
    bool start(BulkKind kind);
    // One timer tick; the timer calls it, tests call it directly.
    BulkTick tick();

    bool running() const { return timer_.isActive(); }
    const QTimer& timer() const { return timer_; }
    BulkKind kind() const { return kind_; }

  private:
    void apply(const BulkTick& t);

    QDialog& dialog_;
    SendPath& path_;
    BulkKind kind_;
    std::optional<BulkTransfer> transfer_;
    QTimer timer_;
    QProgressBar* bar_ = nullptr;
    QLineEdit* percent_ = nullptr;
    QWidget* percent_row_ = nullptr;
    QPushButton* close_ = nullptr;
};

// A settings dialog with one bulk transfer: Close, Escape and the close box are ignored
// while the transfer runs.
class BulkDialog : public ModelDialog {
    Q_OBJECT
  public:
    BulkRunner& bulk() { return bulk_; }
    BulkTick tick() { return bulk_.tick(); }
    // True while this dialog's transfer is under way, including the wait between an error
    // answer and the tick that ends the transfer.
    bool bulk_busy() const;

    void reject() override;

  protected:
    BulkDialog(AppContext& context, QWidget* parent, const QString& caption, BulkKind kind);

  private:
    BulkRunner bulk_;
};

}  // namespace tqv
