// Set all items or the glyph register on every connected device at once (server role):
// each device on a channel of its own (its copy of the settings record, line buffer,
// command in flight, queue and time-out), each run at its own device's pace and under the
// same run rules, one row per device, and one summary when the last has ended. A fault on
// one device ends only that device's run.
#pragma once

#include <QObject>
#include <QString>
#include <QTableWidget>

class QComboBox;
class QLayout;
#include <QTimer>
#include <memory>
#include <vector>

#include "dialogs/app_context.h"
#include "core/bulk.h"

namespace tqv {

class PeerChannel;

class PushToAll : public QObject {
    Q_OBJECT
  public:
    enum class What { set_all, glyph_register };
    struct Row {
        int entry = 0;
        QString address;
        int step = 0;
        int total = 0;
        QString outcome;  // "送信中", "完了", or how the run ended
        bool done = false;
        bool ok = false;
    };

    PushToAll(AppContext& context, What what, QObject* parent = nullptr);
    ~PushToAll() override;

    // Starts on every device connected now; false (with the link's warning) when none is.
    bool start();
    // "中止": every run still under way ends.
    void stop();
    bool running() const { return running_; }
    const std::vector<Row>& rows() const { return rows_; }

    // "接続中の全機器": the text of the target choice.
    static QString target_text();

  signals:
    void rows_changed();
    void finished(int completed, int failed);

  private:
    struct Device;
    void tick(Device& d);
    void ended(Device& d, bool completed, const std::string& closing);
    void schedule(Device& d, bool sent, int period_ms);

    AppContext& context_;
    What what_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::vector<Row> rows_;
    QTimer answer_ticks_;
    bool running_ = false;
};

// The rows of a push to every device: address, step, outcome; hidden until a push starts.
class DeviceRowsTable : public QTableWidget {
    Q_OBJECT
  public:
    explicit DeviceRowsTable(QWidget* parent);
    void show_rows(const std::vector<PushToAll::Row>& rows);
};

// The target choice of the server role: "選択中の機器" (index 0) or "接続中の全機器" (1),
// captioned `caption`, in a row of its own; `list` receives the drop-down list.
QLayout* make_target_row(const QString& caption, QWidget* parent, QComboBox*& list);

// The one summary of a push to every device.
void announce_push_result(Ui& ui, int completed, int failed);

}  // namespace tqv
