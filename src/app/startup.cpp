#include "app/startup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/config.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"

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

bool names_glyph_list(const QString& path) {
    return path.endsWith(QStringLiteral(".tll"), Qt::CaseInsensitive);
}

StartFile open_start_file(Model& model, Ui& ui, const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    const std::string file = QFile::encodeName(absolute).toStdString();
    const bool glyphs = names_glyph_list(path);
    if (glyphs ? load_glyph_list(model, file) : load_document(model, file))
        return glyphs ? StartFile::glyph_list : StartFile::document;
    // The operator did not choose this file in a dialog: the box says which one it was.
    warning_box(ui, std::string(text::kCantFileOpen) + "\n" + absolute.toStdString());
    return StartFile::none;
}

}  // namespace tqv
