// The settings dialogs opened from the main window's menu, with every frame captured by a
// fake serial transport and every box recorded.
#pragma once

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <string>
#include <vector>

#include "app/menu_commands.h"
#include "app_fixture.h"
#include "fake_transport.h"
#include "dialogs/bulk_runner.h"

namespace tqv::test {

class SettingsTest : public DialogTest {
  protected:
    void SetUp() override {
        DialogTest::SetUp();
        model.selected_peer = -1;
    }
    // The device answers "GO" to every addressed command from now on.
    void answer_every_command() {
        wire.on_write = [this](std::string_view frame) {
            if (frame.substr(0, 2) != "FF") link.dispatcher().dispatch_serial("00GO\r\n");
        };
    }
    // Runs the transfer to its end one tick at a time; the number of ticks it took.
    static int run_to_end(BulkDialog& dialog, int limit = 400) {
        int ticks = 0;
        while (dialog.bulk().running() && ticks < limit) {
            dialog.tick();
            ++ticks;
        }
        return ticks;
    }
    // An operator's keystroke; Backspace when `text` is empty.
    static void key(QWidget* target, const QString& text) {
        QKeyEvent press(QEvent::KeyPress, text.isEmpty() ? Qt::Key_Backspace : Qt::Key_unknown,
                        Qt::NoModifier, text);
        QCoreApplication::sendEvent(target, &press);
    }
    static void type(QWidget* target, const QString& text) {
        for (QChar c : text) key(target, QString(c));
    }
    static std::string percent(BulkDialog& dialog) {
        return dialog.bulk().percent_box()->text().toStdString();
    }
    static int progress(BulkDialog& dialog) { return dialog.bulk().progress_bar()->value(); }
    static bool close_enabled(BulkDialog& dialog) {
        return dialog.bulk().close_button()->isEnabled();
    }
    static std::string repeat(const std::string& s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    }
};

}  // namespace tqv::test
