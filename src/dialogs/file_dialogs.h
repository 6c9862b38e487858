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

// Every dialog starts in the folder of the file last chosen or opened, of any kind; with a
// configuration file that folder is kept for the next run (key `last_folder`).
class QtFileDialogs : public FileDialogs {
  public:
    explicit QtFileDialogs(IniFile* config = nullptr);
    void used(const std::string& path) override;
    // Empty until a file was used: the dialog then starts in the working directory.
    QString start_folder() const { return folder_; }

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
    std::optional<std::string> run(QFileDialog& dialog, const char* filter);
    std::optional<std::string> open_file(QWidget* owner, const char* filter);
    // An empty `title` is "ファイルの保存"; an empty `suffix` adds none.
    std::optional<std::string> save_file(QWidget* owner, const char* filter,
                                         const QString& title = {}, const QString& suffix = {},
                                         const QString& initial_name = {});

    IniFile* config_ = nullptr;
    QString folder_;
};

}  // namespace tqv
