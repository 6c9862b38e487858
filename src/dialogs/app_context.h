// What the main window and every dialog share: the one settings model, the device link
// (send path, answer dispatch, transports) and the corner-click gesture count that every
// dialog resets when it opens.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/config.h"
#include "core/model.h"
#include "core/ui.h"
#include "link/device_link.h"

namespace tqv {

// Ten right clicks in a row at the top-left corner of the screen open the read-settings
// dialog: a service gesture, kept off the menu's beaten path. Any click elsewhere, and the
// opening of any dialog, starts the count again.
class CornerClicks {
  public:
    static constexpr int kCorner = 20;  // both screen coordinates below this
    static constexpr int kClicks = 10;

    // Counts one right click at a screen position; true when it completes the gesture (the
    // count then starts again).
    bool click(int screen_x, int screen_y);
    void reset() { count_ = 0; }
    int count() const { return count_; }

  private:
    int count_ = 0;
};

class FileDialogs;

// The windows answers and their boxes go to, kept on the Qt side and never in the model:
// the dialog that repaints on a glyph answer, and the window that the boxes of answers sit
// over. A window that goes away is forgotten by itself.
struct AnswerWindows {
    QPointer<QWidget> notify_window;
    QPointer<QWidget> message_owner;
};

struct AppContext {
    Model& model;
    DeviceLink& link;
    CornerClicks& corner_clicks;
    // The configuration file the interface and network dialogs write key by key; none in
    // tests that do not look at it.
    IniFile* config = nullptr;
    // The file name dialogs (settings documents, glyph lists, bitmaps).
    FileDialogs* files = nullptr;
    // Set by each dialog that talks to the device as it opens.
    AnswerWindows windows{};

    // The message boxes go through the same Ui as the send path's, so tests record both.
    Ui& ui() { return link.send_path().ui(); }
};

}  // namespace tqv
