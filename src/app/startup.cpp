#include "app/startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/config.h"

namespace tqv {

QString configuration_path() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tqv7310nx/") + QString::fromLatin1(kConfigFileName);
}

void start_model(Model& model, DeviceLink& link, const QString& ini_path) {
    link.tcp().peer_table_reset();
    model.reset();
    model.tcp_connected = 0;
    QDir().mkpath(QFileInfo(ini_path).absolutePath());
    read_configuration(model, IniFile(QFile::encodeName(ini_path).toStdString()));
}

}  // namespace tqv
