#include "app/file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include "core/model.h"

namespace tqv {

namespace {

std::optional<std::string> run(QFileDialog& dialog) {
    dialog.setNameFilters(
        QStringList{QStringLiteral("データ(*.dat)"), QStringLiteral("すべて(*.*)")});
    dialog.selectNameFilter(QStringLiteral("データ(*.dat)"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    std::string path = QFile::encodeName(files.front()).toStdString();
    // The document name has a fixed room; a longer one is not taken rather than cut.
    if (path.empty() || path.size() >= static_cast<std::size_t>(kMaxPathBytes)) return std::nullopt;
    return path;
}

}  // namespace

std::optional<std::string> QtFileDialogs::choose_open(QWidget* owner) {
    QFileDialog dialog(owner, QStringLiteral("ファイルのオープン"));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog);
}

std::optional<std::string> QtFileDialogs::choose_save(QWidget* owner) {
    QFileDialog dialog(owner, QStringLiteral("ファイルの保存"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return run(dialog);
}

}  // namespace tqv
