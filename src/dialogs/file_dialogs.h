// The open and save dialogs of the settings document, the glyph list file and the glyph
// picture export, behind an interface so that tests answer them instead of an operator.
#pragma once

#include <QString>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace tqv {

class IniFile;

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen path (as the file system spells it), or nullopt when cancelled.
    virtual std::optional<std::string> choose_open(QWidget* owner) = 0;
    virtual std::optional<std::string> choose_save(QWidget* owner) = 0;
    // The glyph list file (".tll"): the same dialogs with the list's filter. A front end
    // without them cancels.
    virtual std::optional<std::string> choose_open_glyph_list(QWidget*) { return std::nullopt; }
    virtual std::optional<std::string> choose_save_glyph_list(QWidget*) { return std::nullopt; }
    // The cue list (".csv").
    virtual std::optional<std::string> choose_open_cues(QWidget*) { return std::nullopt; }
    virtual std::optional<std::string> choose_save_cues(QWidget*) { return std::nullopt; }
    // The picture export (".bmp"): a save dialog with its own title and a proposed name.
    virtual std::optional<std::string> choose_save_bitmap(QWidget*, const std::string& /*title*/,
                                                          const std::string& /*initial_name*/) {
        return std::nullopt;
    }
    // A file was opened without these dialogs (named on the command line): the next
    // dialog starts in its folder, as after a file chosen in one of them.
    virtual void used(const std::string& /*path*/) {}
};

// The kinds of file that keep a folder each: an operator keeps settings documents, glyph
// files (lists and pictures) and cue lists in different places.
enum class FileKind { settings, glyphs, cues };
// The kind a file's name says (".tll" and ".bmp" glyphs, ".csv" cues, else settings).
FileKind file_kind_of(const std::string& path);

// Every dialog starts in the folder of the file of its kind last chosen or opened; before
// a file of that kind was used, in the folder last used for any kind. With a configuration
// file both are kept for the next run (keys `last_folder_settings`, `last_folder_glyphs`,
// `last_folder_cues`, and `last_folder` for any kind, which older versions wrote alone).
// The dialogs are Qt's own, so that they speak the program's language on every desktop.
class QtFileDialogs : public FileDialogs {
  public:
    explicit QtFileDialogs(IniFile* config = nullptr);
    void used(const std::string& path) override;
    void used(const std::string& path, FileKind kind);
    // Where the next dialog of this kind starts; empty: the working directory.
    QString folder(FileKind kind) const;

    // "ファイルのオープン": an existing file.
    std::optional<std::string> choose_open(QWidget* owner) override;
    // "ファイルの保存": asks before overwriting. No default extension: save-as adds ".dat"
    // itself, by the document's own rule.
    std::optional<std::string> choose_save(QWidget* owner) override;
    std::optional<std::string> choose_open_glyph_list(QWidget* owner) override;
    std::optional<std::string> choose_save_glyph_list(QWidget* owner) override;
    std::optional<std::string> choose_save_bitmap(QWidget* owner, const std::string& title,
                                                  const std::string& initial_name) override;
    std::optional<std::string> choose_open_cues(QWidget* owner) override;
    std::optional<std::string> choose_save_cues(QWidget* owner) override;

  private:
    // `filter` is the first (selected) filter, "すべて(*.*)" the second.
    std::optional<std::string> run(QFileDialog& dialog, const char* filter, FileKind kind);
    std::optional<std::string> open_file(QWidget* owner, const char* filter, FileKind kind);
    // An empty `title` is "ファイルの保存"; an empty `suffix` adds none.
    std::optional<std::string> save_file(QWidget* owner, const char* filter, FileKind kind,
                                         const QString& title = {}, const QString& suffix = {},
                                         const QString& initial_name = {});
    void keep(const char* key, QString& folder, const QString& used);

    IniFile* config_ = nullptr;
    QString any_folder_;
    QString folders_[3];  // by FileKind
};

}  // namespace tqv
