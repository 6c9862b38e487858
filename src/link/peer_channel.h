// One device of the server role on a channel of its own: its own copy of the settings
// record, its own send path (line buffer, command in flight, queue, time-out) and answer
// dispatcher, writing to its own socket. Many of them run side by side on one event loop,
// each at the pace of its own device. The peer set (peer_set.h) keeps one per connected
// device.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>

#include "core/answers.h"
#include "core/transport.h"
#include "core/ui.h"
#include "link/channel.h"

class QTcpSocket;

namespace tqv {

class PeerChannel : public QObject, public Channel, public Transport {
    Q_OBJECT
  public:
    // `record`: what the device's commands are built from (a settings document, glyphs);
    // the channel works on its own copy.
    PeerChannel(const Model& record, QTcpSocket* socket, QObject* parent = nullptr);
    ~PeerChannel() override;

    Model& model() override { return *model_; }
    SendPath& send_path() override { return path_; }
    AnswerDispatcher& dispatcher() { return dispatcher_; }
    bool bytes_pending() const override;

    // A fresh copy of the record (before a run), keeping the channel's link state.
    void set_record(const Model& record);
    // Where the channel's boxes go. By default none is shown: with many devices at once,
    // one modal box per device would trap the operator; the last text is kept instead.
    void set_ui(Ui* ui) { ui_.target = ui; }
    const std::string& last_message() const { return ui_.last; }

    bool write(std::string_view frame) override;
    bool link_up() const override;
    bool reachable() const override { return link_up(); }

    // Bytes the device sent.
    void receive(const QByteArray& bytes);
    // The 500 ms answer time-out tick.
    void tick() { path_.answer_timeout_tick(); }
    // The device went away: whatever awaited its answer, and a run under way, end.
    void lost();

  signals:
    // Every frame handed to the socket.
    void written(const QByteArray& frame);

  private:
    struct ForwardUi : Ui {
        void box(Box kind, std::string_view text, std::string_view caption) override {
            last = std::string(text);
            if (target != nullptr) target->box(kind, text, caption);
        }
        bool ask(std::string_view text, std::string_view caption) override {
            return target == nullptr || target->ask(text, caption);
        }
        Ui* target = nullptr;
        std::string last;
    };
    void prepare_link_state();

    ForwardUi ui_;
    std::unique_ptr<Model> model_;
    SendPath path_;
    AnswerDispatcher dispatcher_;
    QPointer<QTcpSocket> socket_;
    bool lost_ = false;
};

}  // namespace tqv
