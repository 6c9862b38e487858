#include "app/single_instance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>

#include "core/texts.h"

namespace tqv {

namespace {

// How long a later start waits for the running copy to take its file. That copy answers
// from its event loop, which a modal box does not stop.
constexpr int kHandOverMs = 5000;
constexpr char kTaken[] = "ok\n";

}  // namespace

SingleInstance::SingleInstance(const QString& directory)
    : socket_path_(directory + QStringLiteral("/tqv7310nx.socket")),
      lock_(directory + QStringLiteral("/tqv7310nx.lock")) {
    // A lock is stale only when its process is gone, however long the first copy has been
    // running (QLockFile's default would give it up after 30 seconds on some file systems).
    lock_.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() { delete server_; }

QString SingleInstance::default_directory() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}

bool SingleInstance::acquire(Ui& ui, const QString& file) {
    if (lock_.tryLock(0)) return true;
    // Only a lock held by a live copy refuses the start; a runtime directory that cannot
    // take a lock file must not keep the operator from the device.
    if (lock_.error() != QLockFile::LockFailedError) return true;
    if (!file.isEmpty() && hand_over(QFileInfo(file).absoluteFilePath())) return false;
    ui.box(Box::plain, text::kSecondCopy, text::kAppCaption);
    return false;
}

bool SingleInstance::hand_over(const QString& file) const {
    // This start has no window yet: waiting here keeps no operator from anything.
    QLocalSocket socket;
    socket.connectToServer(socket_path_);
    if (!socket.waitForConnected(kHandOverMs)) return false;
    socket.write(file.toUtf8() + '\n');
    if (!socket.waitForBytesWritten(kHandOverMs)) return false;
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(kHandOverMs)) answer += socket.readAll();
    return answer == kTaken;
}

bool SingleInstance::accept_files(std::function<void(const QString&)> open) {
    if (server_ == nullptr) {
        server_ = new QLocalServer;
        server_->setSocketOptions(QLocalServer::UserAccessOption);
    }
    // We hold the lock: a socket left behind is a crashed copy's.
    QLocalServer::removeServer(socket_path_);
    if (!server_->listen(socket_path_)) return false;
    QObject::connect(server_, &QLocalServer::newConnection, server_, [this, open] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, open] {
                if (!socket->canReadLine()) return;
                const QString path = QString::fromUtf8(socket->readLine()).chopped(1);
                socket->write(kTaken);
                socket->flush();
                // Opening asks questions in boxes: not before the other start has its answer.
                QTimer::singleShot(0, socket->parent(), [open, path] { open(path); });
            });
        }
    });
    return true;
}

}  // namespace tqv
