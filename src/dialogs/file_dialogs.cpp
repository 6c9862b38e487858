#include "dialogs/file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QStringList>

#include "core/model.h"
#include "core/texts.h"

namespace tqv {

namespace {

// `filter` is the first (selected) filter, "すべて(*.*)" the second.
std::optional<std::string> run(QFileDialog& dialog, const char* filter = text::kDocumentFilter) {
    const QString first = QString::fromUtf8(filter);
    dialog.setNameFilters(QStringList{first, QString::fromUtf8(text::kAllFilesFilter)});
    dialog.selectNameFilter(first);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    std::string path = QFile::encodeName(files.front()).toStdString();
    // The document name has a fixed room; a longer one is not taken rather than cut.
    if (path.empty() || path.size() >= static_cast<std::size_t>(kMaxPathBytes)) return std::nullopt;
    return path;
}

void make_open(QFileDialog& dialog) {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
}

void make_save(QFileDialog& dialog) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
}

}  // namespace

std::optional<std::string> QtFileDialogs::choose_open(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle));
    make_open(dialog);
    return run(dialog);
}

std::optional<std::string> QtFileDialogs::choose_save(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kSaveDialogTitle));
    make_save(dialog);
    return run(dialog);
}

std::optional<std::string> QtFileDialogs::choose_open_glyph_list(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle));
    make_open(dialog);
    return run(dialog, text::kGlyphListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_glyph_list(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kSaveDialogTitle));
    make_save(dialog);
    return run(dialog, text::kGlyphListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_bitmap(QWidget* owner,
                                                             const std::string& title,
                                                             const std::string& initial_name) {
    QFileDialog dialog(owner, QString::fromStdString(title));
    make_save(dialog);
    dialog.selectFile(QString::fromStdString(initial_name));
    return run(dialog, text::kBitmapFilter);
}

}  // namespace tqv
