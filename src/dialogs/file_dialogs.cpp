#include "dialogs/file_dialogs.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "core/config.h"
#include "core/model.h"
#include "core/texts.h"

namespace tqv {

namespace {

constexpr const char* kFolderKey = "last_folder";

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

QtFileDialogs::QtFileDialogs(IniFile* config) : config_(config) {
    if (config_ == nullptr) return;
    const QString kept =
        QFile::decodeName(QByteArray::fromStdString(config_->get(kConfigSection, kFolderKey, "")));
    if (!kept.isEmpty() && QFileInfo(kept).isDir()) folder_ = kept;
}

void QtFileDialogs::used(const std::string& path) {
    const QString folder =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).absolutePath();
    if (folder == folder_) return;
    folder_ = folder;
    if (config_ != nullptr)
        config_->set(kConfigSection, kFolderKey, QFile::encodeName(folder_).toStdString());
}

std::optional<std::string> QtFileDialogs::run(QFileDialog& dialog, const char* filter) {
    const QString first = QString::fromUtf8(filter);
    dialog.setNameFilters(QStringList{first, QString::fromUtf8(text::kAllFilesFilter)});
    dialog.selectNameFilter(first);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    std::string path = QFile::encodeName(files.front()).toStdString();
    // The document name has a fixed room; a longer one is not taken rather than cut.
    if (path.empty() || path.size() >= static_cast<std::size_t>(kMaxPathBytes)) return std::nullopt;
    used(path);
    return path;
}

std::optional<std::string> QtFileDialogs::choose_open(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle), folder_);
    make_open(dialog);
    return run(dialog, text::kDocumentFilter);
}

std::optional<std::string> QtFileDialogs::choose_save(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kSaveDialogTitle), folder_);
    make_save(dialog);
    return run(dialog, text::kDocumentFilter);
}

std::optional<std::string> QtFileDialogs::choose_open_glyph_list(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle), folder_);
    make_open(dialog);
    return run(dialog, text::kGlyphListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_glyph_list(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kSaveDialogTitle), folder_);
    make_save(dialog);
    return run(dialog, text::kGlyphListFilter);
}

std::optional<std::string> QtFileDialogs::choose_open_cues(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle), folder_);
    make_open(dialog);
    return run(dialog, text::kCueListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_cues(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kSaveDialogTitle), folder_);
    make_save(dialog);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    return run(dialog, text::kCueListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_bitmap(QWidget* owner,
                                                             const std::string& title,
                                                             const std::string& initial_name) {
    QFileDialog dialog(owner, QString::fromStdString(title), folder_);
    make_save(dialog);
    dialog.selectFile(QString::fromStdString(initial_name));
    return run(dialog, text::kBitmapFilter);
}

}  // namespace tqv
