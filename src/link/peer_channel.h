// One device of the server role on a channel of its own: its own copy of the settings
// record, its own send path (line buffer, command in flight, queue, time-out) and answer
// dispatcher, writing to its own socket. Many of them run side by side on one event loop,
// each at the pace of its own device.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <memory>

#include "core/answers.h"
#include "core/transport.h"
#include "link/channel.h"

class QTcpSocket;

namespace tqv {

class PeerChannel : public QObject, public Channel, public Transport {
    Q_OBJECT
  public:
    // `record`: what the device's commands are built from (a settings document, glyphs);
    // the channel works on its own copy.
    PeerChannel(const Model& record, Ui& ui, QTcpSocket* socket, QObject* parent = nullptr);
    ~PeerChannel() override;

    Model& model() override { return *model_; }
    SendPath& send_path() override { return path_; }
    AnswerDispatcher& dispatcher() { return dispatcher_; }
    bool bytes_pending() const override;

    bool write(std::string_view frame) override;
    bool link_up() const override;

    // Bytes the device sent.
    void receive(const QByteArray& bytes);
    // The 500 ms answer time-out tick.
    void tick() { path_.answer_timeout_tick(); }

  private:
    std::unique_ptr<Model> model_;
    SendPath path_;
    AnswerDispatcher dispatcher_;
    QPointer<QTcpSocket> socket_;
};

}  // namespace tqv
