// Set all items or the glyph register on every connected device at once (server role):
// each device on its channel of the peer set (the chosen device on the program's own link),
// each run by a run driver at its own device's pace and under the same run rules, one row
// per device, overall progress, and one summary when the last has ended. A fault on one
// device ends only that device's run, and shows as its row, never as a box.
#pragma once

#include <QObject>
#include <QString>
#include <QTableWidget>
#include <optional>
#include <vector>

#include "core/bulk.h"
#include "dialogs/app_context.h"
#include "link/fleet_run.h"

class QComboBox;
class QLayout;

namespace tqv {

class PushToAll : public QObject {
    Q_OBJECT
  public:
    enum class What { set_all, glyph_register };
    // Address, step, total, outcome ("送信中", "完了", or how the run ended), done, ok.
    using Row = FleetRun::Member;

    PushToAll(AppContext& context, What what, QObject* parent = nullptr);

    // Starts on every device connected now; false (with the link's warning) when none is.
    bool start();
    // "中止": every run still under way ends.
    void stop() { run_.stop(); }
    bool running() const { return run_.running(); }
    const std::vector<Row>& rows() const { return run_.members(); }
    // Steps out over all devices, and all their steps.
    int steps_out() const { return run_.steps_out(); }
    int steps_total() const { return run_.steps_total(); }
    // The time until the slowest device is done (nullopt: not known yet).
    std::optional<int> remaining_ms() const { return run_.remaining_ms(); }

    // "接続中の全機器": the text of the target choice.
    static QString target_text();

  signals:
    // A new push: the rows are new.
    void rows_reset();
    // Row `row` changed.
    void row_changed(int row);
    void finished(int completed, int failed);

  private:
    AppContext& context_;
    What what_;
    FleetRun run_;
};

// The rows of a push to every device: address, step, outcome; hidden until a push starts.
// Only the row that changed is drawn again, so a step of one device among many costs one
// row; the outcome wraps, and its tooltip holds the whole text.
class DeviceRowsTable : public QTableWidget {
    Q_OBJECT
  public:
    explicit DeviceRowsTable(QWidget* parent);
    // Shows `push`'s rows and follows them from now on.
    void follow(const PushToAll& push);
    void show_rows(const std::vector<PushToAll::Row>& rows);
    void show_row(int i, const PushToAll::Row& r);
    // A run on the chosen device alone: the rows of an earlier push say nothing about it.
    void forget_rows();
};

// The target choice of the server role: "選択中の機器" (index 0) or "接続中の全機器" (1),
// captioned `caption`, in a row of its own; `list` receives the drop-down list.
QLayout* make_target_row(const QString& caption, QWidget* parent, QComboBox*& list);

// The one summary of a push to every device.
void announce_push_result(Ui& ui, int completed, int failed);

}  // namespace tqv
