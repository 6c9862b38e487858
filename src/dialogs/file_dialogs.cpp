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

std::optional<std::string> QtFileDialogs::open_file(QWidget* owner, const char* filter) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle), folder_);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog, filter);
}

std::optional<std::string> QtFileDialogs::save_file(QWidget* owner, const char* filter,
                                                    const QString& title, const QString& suffix,
                                                    const QString& initial_name) {
    QFileDialog dialog(owner, title.isEmpty() ? QString::fromUtf8(text::kSaveDialogTitle) : title,
                       folder_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    if (!initial_name.isEmpty()) dialog.selectFile(initial_name);
    return run(dialog, filter);
}

std::optional<std::string> QtFileDialogs::choose_open(QWidget* owner) {
    return open_file(owner, text::kDocumentFilter);
}

std::optional<std::string> QtFileDialogs::choose_save(QWidget* owner) {
    return save_file(owner, text::kDocumentFilter);
}

std::optional<std::string> QtFileDialogs::choose_open_glyph_list(QWidget* owner) {
    return open_file(owner, text::kGlyphListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_glyph_list(QWidget* owner) {
    return save_file(owner, text::kGlyphListFilter);
}

std::optional<std::string> QtFileDialogs::choose_open_cues(QWidget* owner) {
    return open_file(owner, text::kCueListFilter);
}

std::optional<std::string> QtFileDialogs::choose_save_cues(QWidget* owner) {
    return save_file(owner, text::kCueListFilter, {}, QStringLiteral("csv"));
}

std::optional<std::string> QtFileDialogs::choose_save_bitmap(QWidget* owner,
                                                             const std::string& title,
                                                             const std::string& initial_name) {
    return save_file(owner, text::kBitmapFilter, QString::fromStdString(title), {},
                     QString::fromStdString(initial_name));
}

}  // namespace tqv
