#include "link/serial_link.h"

#include <termios.h>

#include <cerrno>
#include <cstring>

#include <QSerialPort>

#include "core/texts.h"
#include "link/link_log.h"

// Line settings of the device's RS-232C port and how they map onto Linux:
//
//   9600 baud, 8 data bits, even parity, 1 stop bit   QSerialPort, applied when it opens
//   binary transfer                                   raw mode (QSerialPort's cfmakeraw)
//   CTS output flow, RTS handshake                    CRTSCTS (QSerialPort::HardwareControl)
//   XON/XOFF output and input flow, XON 0x11,
//   XOFF 0x13                                         IXON | IXOFF, VSTART, VSTOP, added with
//                                                     tcsetattr: QSerialPort offers only one
//                                                     kind of flow control, and its software
//                                                     mode also sets IXANY, which would let any
//                                                     byte from the device restart our output
//   parity checking off while even parity is sent     INPCK cleared: the line still carries
//                                                     even parity both ways, but a byte with a
//                                                     parity error is passed on unmarked
//   received-character notification                   the descriptor's read notifier
//                                                     (readyRead)
//   reads return at once with what is queued          VMIN 0, VTIME 0 (set by QSerialPort)
//
// Settings that cannot be applied on Linux:
//   - DTR handshake: the tty layer has no DTR flow control; DTR is simply raised while the
//     port is open.
//   - DSR output flow control: none on Linux; the port's setting was "unchanged" anyway.
//   - XON/XOFF limits of 512 bytes: the line discipline sends XOFF and XON at thresholds of
//     its own fixed 4096-byte buffer.
//   - Driver queue sizes of 2000 bytes: the kernel's tty buffers have a fixed size;
//     QSerialPort's own read buffer is unbounded and drained on every readyRead.
//   - Write time-out of 1000 ms: writes are queued and sent by the event loop; a write held
//     back by the handshake stays queued, and the command's answer time-out reports it.
// Because none of these can fail on their own, "Miss! Mask Set", "Miss! Buffer Set" and
// "Miss! Time Out Set" never show: a port that does not open shows "Miss! File Open" alone,
// since every later step would only fail in turn on a port that is not there.

namespace tqv {

namespace {
constexpr int kOpenedPathsKept = 8;
}  // namespace

SerialLink::SerialLink(Ui& ui, QObject* parent) : QObject(parent), ui_(ui) {}

SerialLink::~SerialLink() { close(); }

QString SerialLink::port_path(int com_port_index) {
    if (com_port_index < 0 || com_port_index > 5) return {};
    return QStringLiteral("/dev/ttyS%1").arg(com_port_index);
}

bool SerialLink::open(const QString& path, bool quiet) {
    close();
    lost_reported_ = false;
    last_path_ = path;

    bool opened = false;
    QString why = QStringLiteral("no such port");
    if (!path.isEmpty()) {
        port_ = new QSerialPort(this);
        port_->setPortName(path);  // an absolute path is used as it stands
        port_->setBaudRate(QSerialPort::Baud9600);
        port_->setDataBits(QSerialPort::Data8);
        port_->setParity(QSerialPort::EvenParity);
        port_->setStopBits(QSerialPort::OneStop);
        port_->setFlowControl(QSerialPort::HardwareControl);
        opened = port_->open(QIODevice::ReadWrite);
        if (!opened) why = port_->errorString();
    }
    if (!opened) {
        delete port_;
        port_ = nullptr;
        qCInfo(lc_link) << "serial port" << path << "not opened:" << why;
        if (quiet) return false;
        emit open_failed(path, QString::fromUtf8(text::kMissFileOpen), why);
        warning_box(ui_, text::kMissFileOpen);
        return false;
    }

    // Whatever the driver still holds from an earlier user of the port is not ours.
    port_->clear();
    if (!apply_handshake()) {
        // The port is open and carries bytes, only without the handshake: kept, and said.
        const QString failed = QString::fromLocal8Bit(std::strerror(errno));
        qCInfo(lc_link) << "serial port" << path << "handshake not set:" << failed;
        if (!quiet) {
            emit open_failed(path, QString::fromUtf8(text::kMissSetCommState), failed);
            warning_box(ui_, text::kMissSetCommState);
        }
    }

    connect(port_, &QSerialPort::readyRead, this, &SerialLink::read_available);
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { port_failed(error); });
    qCInfo(lc_link) << "serial port" << path << "open";
    opened_paths_.removeAll(path);
    opened_paths_.prepend(path);
    if (opened_paths_.size() > kOpenedPathsKept) opened_paths_.removeLast();
    return true;
}

bool SerialLink::apply_handshake() {
    const int fd = port_->handle();
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return false;
    // The whole line setting again, not only the additions: a driver may have dropped what
    // it does not carry (a pseudo-terminal reports no parity), and this call is the one
    // that the port keeps.
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARODD);
    tio.c_cflag |= CS8 | PARENB | CRTSCTS;
    tio.c_iflag |= IXON | IXOFF;
    tio.c_iflag &= ~(IXANY | INPCK);
    tio.c_cc[VSTART] = 0x11;
    tio.c_cc[VSTOP] = 0x13;
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

void SerialLink::close() {
    if (port_ == nullptr) return;
    port_->disconnect(this);
    port_->close();
    // Deleted later: close() may run inside one of the port's own signals.
    port_->deleteLater();
    port_ = nullptr;
}

bool SerialLink::is_open() const { return port_ != nullptr && port_->isOpen(); }

// As it was given: QSerialPort's own name drops "/dev/" ("pts/3").
QString SerialLink::path() const { return is_open() ? last_path_ : QString(); }

bool SerialLink::write(std::string_view frame) {
    // Writes to a port that is not open fail silently; the answer time-out reports them.
    if (!is_open()) return false;
    qCDebug(lc_link_bytes) << "serial >" << QByteArray(frame.data(), qsizetype(frame.size()));
    // QSerialPort copies the frame into its write buffer, so the caller's frame need not
    // outlive this call.
    const bool written = port_->write(frame.data(), qint64(frame.size())) == qint64(frame.size());
    if (written) emit frame_written(QByteArray(frame.data(), qsizetype(frame.size())));
    return written;
}

void SerialLink::read_available() {
    // Loop: a message box opened by a receiver runs a nested event loop, and bytes arriving
    // meanwhile raise no second readyRead while this one is still being handled.
    while (port_ != nullptr && port_->bytesAvailable() > 0) {
        const QByteArray bytes = port_->readAll();
        qCDebug(lc_link_bytes) << "serial <" << bytes;
        emit bytes_received(bytes);
    }
}

void SerialLink::port_failed(int error) {
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError) return;
    if (port_ == nullptr || lost_reported_) return;
    lost_reported_ = true;
    qCInfo(lc_link) << "serial port" << port_->portName() << "lost:" << port_->errorString();
    // Once the far end is gone QSerialPort reports ReadError on every pass of the event
    // loop for as long as the port stays open: close it before anything else runs.
    close();
    // The link above says so, once: alone, or as the end of a run that was under way.
    emit port_lost();
}

}  // namespace tqv
