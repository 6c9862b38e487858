// The open and save dialogs of the settings document, behind an interface so that tests
// answer them instead of an operator.
#pragma once

#include <optional>
#include <string>

class QWidget;

namespace tqv {

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen path (as the file system spells it), or nullopt when cancelled.
    virtual std::optional<std::string> choose_open(QWidget* owner) = 0;
    virtual std::optional<std::string> choose_save(QWidget* owner) = 0;
};

class QtFileDialogs : public FileDialogs {
  public:
    // "ファイルのオープン": an existing file.
    std::optional<std::string> choose_open(QWidget* owner) override;
    // "ファイルの保存": asks before overwriting. No default extension: save-as adds ".dat"
    // itself, by the document's own rule.
    std::optional<std::string> choose_save(QWidget* owner) override;
};

}  // namespace tqv
