// The traffic log: every frame sent and every line received, kept from the program's start
// (the last 10 000 lines), written to a file as well when --log names one, and shown in a
// non-modal window with pause, clear, copy and save.
#pragma once

#include <QAbstractListModel>
#include <QColor>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <memory>

#include "core/traffic.h"
#include "link/device_link.h"

class QLabel;
class QListView;
class QPushButton;

namespace tqv {

class TrafficLog : public QObject {
    Q_OBJECT
  public:
    explicit TrafficLog(DeviceLink& link, QObject* parent = nullptr);

    // Every line from now on also goes to `path`, appended after a line that marks this
    // start, flushed line by line so that nothing is lost when the program is killed. False,
    // with `error`, when it cannot be opened.
    bool write_to(const QString& path, QString* error = nullptr);
    const TrafficRing& ring() const { return ring_; }
    void clear() { ring_.clear(); }
    // The line as the window and the file show it, titles decoded.
    static QString text_of(const TrafficLine& line);
    // The whole log as text, one line each.
    QString all_text() const;

    // A remote show-control request and its outcome.
    void remote(const QString& who, const QString& what) { add(false, who, what.toUtf8()); }

  signals:
    // A line was added to the ring (its text is text_of() of the ring's last line): told for
    // every frame, so it carries nothing that costs to make.
    void added();

  private:
    void add(bool sent, const QString& peer, const QByteArray& bytes);
    // A link event as a line of its own: time-outs, a port opened or not, a connection made,
    // lost or regained.
    void note(const QString& peer, const char* what);
    void add_line(TrafficLine line);
    void watch_link_events(DeviceLink& link);

    TrafficRing ring_;
    std::unique_ptr<QFile> file_;
};

// The window's lines: only those in sight are laid out and painted. Frames sent and lines
// received read in colours of their own, link events in a third; the whole line is the
// tooltip of one cut at the window's edge.
class TrafficLogModel : public QAbstractListModel {
    Q_OBJECT
  public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void append(const QStringList& lines);
    void reset(const QStringList& lines);
    enum class Direction { sent, received, event };
    // What a line of text_of() is, by its direction mark.
    static Direction direction_of(const QString& line);
    static QColor colour_of(Direction direction);

  private:
    std::deque<QString> lines_;
};

class TrafficLogWindow : public QWidget {
    Q_OBJECT
  public:
    TrafficLogWindow(TrafficLog& log, QWidget* parent = nullptr);

    QListView* view() const { return view_; }
    // The chosen line in full, wrapped: a long title frame reads without scrolling sideways.
    QLabel* detail() const { return detail_; }
    // The lines shown; `line(-1)` is the last.
    int line_count() const;
    QString line(int i) const;
    QPushButton* pause_button() const { return pause_; }
    bool paused() const { return paused_; }
    void set_paused(bool paused);
    void clear();
    void copy_all();
    bool save_as(const QString& path);
    // Shows the lines that came since the last batch now (tests; the timer does it).
    void flush();

  private:
    void show_all();

    TrafficLog& log_;
    TrafficLogModel model_;
    QListView* view_ = nullptr;
    QLabel* detail_ = nullptr;
    QPushButton* pause_ = nullptr;
    bool paused_ = false;
    int pending_ = 0;  // lines added to the log since the last batch was shown
    QTimer batch_timer_;
};

}  // namespace tqv
