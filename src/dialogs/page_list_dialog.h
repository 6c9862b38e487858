// The layout the page switch, start-up page and position dialogs share: one list and one
// "設定" button per title line, the slave address list and Close. A choice goes into the
// model at once (and is part of the settings document, so it marks the document changed); a
// button sends that line's command.
#pragma once

#include <array>

#include "dialogs/model_dialog.h"
#include "core/send_path.h"

class QComboBox;
class QPushButton;

namespace tqv {

class PageListDialog : public ModelDialog {
    Q_OBJECT
  public:
    QComboBox* page_list(int line) const { return page_lists_[line]; }
    QPushButton* set_button(int line) const { return set_buttons_[line]; }

  protected:
    using PageArray = std::array<int, kTitleLines>;
    using Sender = void (*)(SendPath&, int line);

    // `pages` is the model member the lists edit, `send` the builder a button calls, `items`
    // what each list offers (item index = stored value).
    PageListDialog(AppContext& context, QWidget* parent, const QString& caption,
                   const char* peer_caption, PageArray Model::*pages, Sender send,
                   const QStringList& items = page_items_with_auto());

  private:
    std::array<QComboBox*, kTitleLines> page_lists_{};
    std::array<QPushButton*, kTitleLines> set_buttons_{};
};

}  // namespace tqv
