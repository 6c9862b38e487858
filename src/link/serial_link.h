// RS-232C transport on QSerialPort: 9600 baud, 8 data bits, even parity, 1 stop bit,
// RTS/CTS and XON/XOFF handshake. Bytes are read on the event loop (readyRead) and handed
// on as they come; line assembly belongs to the core.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include "core/transport.h"
#include "core/ui.h"

class QSerialPort;

namespace tqv {

class SerialLink : public QObject, public Transport {
    Q_OBJECT
public:
    explicit SerialLink(Ui& ui, QObject* parent = nullptr);
    ~SerialLink() override;

    // "COM1".."COM6" -> "/dev/ttyS0".."/dev/ttyS5"; empty for an index outside 0..5.
    static QString port_path(int com_port_index);

    // Opens and configures the port. A step that fails shows its one box ("Miss! File Open"
    // for a port that cannot be opened) and nothing more is tried on that port; the program
    // runs on either way. open_failed() comes before the box, so that whatever shows the
    // link's state says so while the box is up.
    // `quiet`: no boxes and no open_failed() (the reconnect retries on its own).
    bool open(const QString& path, bool quiet = false);
    void close();
    bool is_open() const;

    bool write(std::string_view frame) override;
    // Up while the port is open: show control answers 503 at once rather than waiting for
    // a time-out on a port that is not there.
    bool link_up() const override { return is_open(); }

    QSerialPort* port() const { return port_; }
    // The path the port was opened with; empty while closed.
    QString path() const;
    // The path of the last open, also after the port was closed or lost.
    QString last_path() const { return last_path_; }
    // Every path opened during this run, the latest first: the operator can go back to a
    // port that worked (a pseudo-terminal of socat or of the simulator) after another failed.
    const QStringList& opened_paths() const { return opened_paths_; }

signals:
    void bytes_received(const QByteArray& bytes);
    // The far end disappeared or the adapter was unplugged; emitted once. The receiver shows
    // "COM port が切断されました".
    void port_lost();
    // Every frame handed to the port.
    void frame_written(const QByteArray& frame);
    // Opening `path` failed at the step whose box is `message`; `why` is the system's
    // reason. After "Miss! Set Comm State" the port stays open, without the handshake.
    void open_failed(const QString& path, const QString& message, const QString& why);

private:
    bool apply_handshake();
    void read_available();
    void port_failed(int error);

    Ui& ui_;
    QSerialPort* port_ = nullptr;
    bool lost_reported_ = false;
    QString last_path_;
    QStringList opened_paths_;
};

}  // namespace tqv
