// The status bar under the panel picture: which link (port and line settings, or host, or
// the listening port and its devices), its state, and the last exchange (time, command,
// answer or time-out). Its context menu offers "再接続" to the last host in the client role.
#pragma once

#include <QDateTime>
#include <QStatusBar>
#include <QTimer>

#include "link/device_link.h"

class QAction;
class QLabel;

namespace tqv {

// What the read after a reconnect found: "再接続後の確認: 3 項目が文書と違います" (status bar
// and traffic log).
QString reconnect_check_summary(bool completed, std::size_t differences);

class LinkStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    LinkStatusBar(DeviceLink& link, QWidget* parent = nullptr);

    QString link_text() const;
    QString state_text() const;
    QString exchange_text() const;
    // "再接続": enabled in the client role while no connection exists.
    QAction* reconnect_action() const { return reconnect_; }

    // Shows everything again from the link and the model (the interface was changed).
    void refresh();
    // Show control is on: "制御 HTTP 127.0.0.1:8080, OSC 127.0.0.1:9000"; empty: off.
    void set_control_text(const QString& text);
    // The last remote action in place of the control text, for a few seconds.
    void show_remote(const QString& text);
    // The menu's lock of remote control: "リモート禁止" stays in the bar while it is checked.
    void follow_remote_lock(QAction* lock);
    QLabel* remote_lock_label() const { return lock_label_; }

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    // Every frame and answer is kept as it comes; the label shows the last of them at most
    // ten times a second (a push to 96 devices exchanges thousands a second).
    void traffic(bool sent, const QString& peer, const QByteArray& bytes);
    void show_exchange();

    DeviceLink& link_;
    QLabel* link_label_ = nullptr;
    QLabel* state_label_ = nullptr;
    QLabel* exchange_label_ = nullptr;
    QLabel* control_label_ = nullptr;
    QLabel* lock_label_ = nullptr;
    QString control_text_;
    QTimer* remote_timer_ = nullptr;
    QAction* reconnect_ = nullptr;
    QString note_;  // said once after an event ("再接続しました"), until the next change
    qint64 last_ms_ = 0;       // when the last command was sent
    QByteArray last_command_;  // as written; decoded only when shown
    QByteArray last_answer_;   // empty: not answered yet
    bool timed_out_ = false;
    QTimer exchange_due_;
};

}  // namespace tqv
