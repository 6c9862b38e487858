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

constexpr const char* kAnyFolderKey = "last_folder";
constexpr const char* kFolderKeys[] = {"last_folder_settings", "last_folder_glyphs",
                                       "last_folder_cues"};

QString decoded(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

}  // namespace

FileKind file_kind_of(const std::string& path) {
    const QString suffix = QFileInfo(decoded(path)).suffix().toLower();
    if (suffix == QLatin1String("tll") || suffix == QLatin1String("bmp")) return FileKind::glyphs;
    if (suffix == QLatin1String("csv")) return FileKind::cues;
    return FileKind::settings;
}

QtFileDialogs::QtFileDialogs(IniFile* config) : config_(config) {
    if (config_ == nullptr) return;
    auto kept = [this](const char* key) {
        const QString folder = decoded(config_->get(kConfigSection, key, ""));
        return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
    };
    any_folder_ = kept(kAnyFolderKey);
    for (int k = 0; k < 3; ++k) folders_[k] = kept(kFolderKeys[k]);
}

QString QtFileDialogs::folder(FileKind kind) const {
    const QString& own = folders_[int(kind)];
    return own.isEmpty() ? any_folder_ : own;
}

void QtFileDialogs::used(const std::string& path) { used(path, file_kind_of(path)); }

void QtFileDialogs::used(const std::string& path, FileKind kind) {
    const QString folder = QFileInfo(decoded(path)).absolutePath();
    keep(kFolderKeys[int(kind)], folders_[int(kind)], folder);
    keep(kAnyFolderKey, any_folder_, folder);
}

void QtFileDialogs::keep(const char* key, QString& folder, const QString& used) {
    if (folder == used) return;
    folder = used;
    if (config_ != nullptr) config_->set(kConfigSection, key, QFile::encodeName(used).toStdString());
}

std::optional<std::string> QtFileDialogs::run(QFileDialog& dialog, const char* filter,
                                              FileKind kind) {
    // Qt's own dialog, not the desktop's: it carries the program's Japanese texts.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    const QString first = QString::fromUtf8(filter);
    dialog.setNameFilters(QStringList{first, QString::fromUtf8(text::kAllFilesFilter)});
    dialog.selectNameFilter(first);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return std::nullopt;
    std::string path = QFile::encodeName(files.front()).toStdString();
    // The document name has a fixed room; a longer one is not taken rather than cut.
    if (path.empty() || path.size() >= static_cast<std::size_t>(kMaxPathBytes)) return std::nullopt;
    used(path, kind);
    return path;
}

std::optional<std::string> QtFileDialogs::open_file(QWidget* owner, const char* filter,
                                                    FileKind kind) {
    QFileDialog dialog(owner, QString::fromUtf8(text::kOpenDialogTitle), folder(kind));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return run(dialog, filter, kind);
}

std::optional<std::string> QtFileDialogs::save_file(QWidget* owner, const char* filter,
                                                    FileKind kind, const QString& title,
                                                    const QString& suffix,
                                                    const QString& initial_name) {
    QFileDialog dialog(owner, title.isEmpty() ? QString::fromUtf8(text::kSaveDialogTitle) : title,
                       folder(kind));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    if (!initial_name.isEmpty()) dialog.selectFile(initial_name);
    return run(dialog, filter, kind);
}

std::optional<std::string> QtFileDialogs::choose_open(QWidget* owner) {
    return open_file(owner, text::kDocumentFilter, FileKind::settings);
}

std::optional<std::string> QtFileDialogs::choose_save(QWidget* owner) {
    return save_file(owner, text::kDocumentFilter, FileKind::settings);
}

std::optional<std::string> QtFileDialogs::choose_open_glyph_list(QWidget* owner) {
    return open_file(owner, text::kGlyphListFilter, FileKind::glyphs);
}

std::optional<std::string> QtFileDialogs::choose_save_glyph_list(QWidget* owner) {
    return save_file(owner, text::kGlyphListFilter, FileKind::glyphs);
}

std::optional<std::string> QtFileDialogs::choose_open_cues(QWidget* owner) {
    return open_file(owner, text::kCueListFilter, FileKind::cues);
}

std::optional<std::string> QtFileDialogs::choose_save_cues(QWidget* owner) {
    return save_file(owner, text::kCueListFilter, FileKind::cues, {}, QStringLiteral("csv"));
}

std::optional<std::string> QtFileDialogs::choose_save_bitmap(QWidget* owner,
                                                             const std::string& title,
                                                             const std::string& initial_name) {
    return save_file(owner, text::kBitmapFilter, FileKind::glyphs, QString::fromStdString(title), {},
                     QString::fromStdString(initial_name));
}

}  // namespace tqv
