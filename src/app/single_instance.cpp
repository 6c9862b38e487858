#include "app/single_instance.h"

#include <QDir>
#include <QStandardPaths>

#include "core/texts.h"

namespace tqv {

SingleInstance::SingleInstance(const QString& directory)
    : lock_(directory + QStringLiteral("/tqv7310nx.lock")) {
    // A lock is stale only when its process is gone, however long the first copy has been
    // running (QLockFile's default would give it up after 30 seconds on some file systems).
    lock_.setStaleLockTime(0);
}

QString SingleInstance::default_directory() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty()) dir = QDir::tempPath();
    return dir;
}

bool SingleInstance::acquire(Ui& ui) {
    if (lock_.tryLock(0)) return true;
    // Only a lock held by a live copy refuses the start; a runtime directory that cannot
    // take a lock file must not keep the operator from the device.
    if (lock_.error() != QLockFile::LockFailedError) return true;
    ui.box(Box::plain, text::kSecondCopy, text::kAppCaption);
    return false;
}

}  // namespace tqv
