// The main window with everything around it replaced by test doubles: boxes and questions
// recorded and answered from a script, file dialogs answered from a script, dialogs shown
// without blocking.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QEventLoop>
#include <QPointer>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "dialogs/app_context.h"
#include "app/dialog_opener.h"
#include "dialogs/file_dialogs.h"
#include "app/main_window.h"
#include "fake_transport.h"
#include "recording_ui.h"
#include "wait_until.h"

namespace tqv::test {

// A RecordingUi that also tells the test when a box arrives.
class NotifyingUi : public RecordingUi {
  public:
    void box(Box kind, std::string_view text, std::string_view caption) override {
        RecordingUi::box(kind, text, caption);
        if (on_box) on_box();
    }
    std::function<void()> on_box;
};

class ScriptedFiles : public FileDialogs {
  public:
    std::optional<std::string> choose_open(QWidget*) override { return next(opens, open_calls); }
    std::optional<std::string> choose_save(QWidget*) override { return next(saves, save_calls); }

    std::optional<std::string> choose_open_glyph_list(QWidget*) override {
        return next(glyph_opens, glyph_open_calls);
    }
    std::optional<std::string> choose_save_glyph_list(QWidget*) override {
        return next(glyph_saves, glyph_save_calls);
    }
    std::optional<std::string> choose_save_bitmap(QWidget*, const std::string& title,
                                                  const std::string& initial_name) override {
        bitmap_titles.push_back(title);
        bitmap_names.push_back(initial_name);
        return next(bitmap_saves, bitmap_save_calls);
    }
    std::optional<std::string> choose_open_cues(QWidget*) override { return next(cue_files, cue_calls); }
    std::optional<std::string> choose_save_cues(QWidget*) override { return next(cue_files, cue_calls); }
    void used(const std::string& path) override { used_paths.push_back(path); }

    std::deque<std::optional<std::string>> opens;  // nullopt: cancelled; empty: cancelled
    std::deque<std::optional<std::string>> saves;
    int open_calls = 0;
    int save_calls = 0;
    // The glyph list file and the picture export.
    std::deque<std::optional<std::string>> glyph_opens;
    std::deque<std::optional<std::string>> glyph_saves;
    std::deque<std::optional<std::string>> bitmap_saves;
    int glyph_open_calls = 0;
    int glyph_save_calls = 0;
    int bitmap_save_calls = 0;
    std::deque<std::optional<std::string>> cue_files;  // the cue list's open and save-as
    int cue_calls = 0;
    std::vector<std::string> bitmap_titles;  // as the export dialog was asked to show them
    std::vector<std::string> bitmap_names;
    std::vector<std::string> used_paths;  // files opened without a dialog

  private:
    static std::optional<std::string> next(std::deque<std::optional<std::string>>& script,
                                           int& calls) {
        ++calls;
        if (script.empty()) return std::nullopt;
        auto answer = script.front();
        script.pop_front();
        return answer;
    }
};

// Shows each dialog without blocking; the test drives it and closes it.
class ShowingOpener : public DialogOpener {
  public:
    void open(std::unique_ptr<QDialog> dialog) override {
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
        opened.emplace_back(dialog.release());
    }
    template <typename T>
    T* last() const {
        return opened.empty() ? nullptr : qobject_cast<T*>(opened.back().data());
    }
    std::vector<QPointer<QDialog>> opened;
};

// The child of `parent` that assistive technology finds by `name`, as a W.
template <typename W = QWidget>
W* named(const QWidget& parent, const char* name) {
    for (W* w : parent.findChildren<W*>())
        if (w->accessibleName() == QString::fromUtf8(name)) return w;
    return nullptr;
}

// Runs the event loop until `done` is called or `ms` pass; true when it was called.
inline bool run_until_called(const std::function<void(std::function<void()> done)>& arm,
                             int ms = 10000) {
    QEventLoop loop;
    bool called = false;
    arm([&] {
        called = true;
        loop.quit();
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    if (!called) loop.exec();
    return called;
}

class AppTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        make_window();
    }
    void TearDown() override {
        window.reset();
        link.shutdown();
    }
    void make_window() {
        window = std::make_unique<MainWindow>(context, files, opener);
        QObject::connect(window.get(), &MainWindow::quit_requested, [this] { ++quits; });
    }
    std::string file(const char* name) const {
        return dir.filePath(QString::fromUtf8(name)).toStdString();
    }

    QTemporaryDir dir;
    Model model;
    NotifyingUi ui;
    DeviceLink link{model, ui};
    CornerClicks clicks;
    AppContext context{model, link, clicks};
    ScriptedFiles files;
    ShowingOpener opener;
    std::unique_ptr<MainWindow> window;
    int quits = 0;
};

// The main window shown, with the frames it sends recorded instead of reaching a port;
// dialogs are opened through the menu as an operator opens them.
class DialogTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        window->show();
        link.send_path().set_serial_transport(&wire);
    }
    template <typename Dialog>
    Dialog* open(int command) {
        window->run_command(command);
        return opener.last<Dialog>();
    }
    // A list found the way assistive technology finds it: by its accessible name.
    static QComboBox* list_named(QWidget& dialog, const char* name) { return named<QComboBox>(dialog, name); }
    // Server role with `devices` connected from 127.0.0.1 one after the other (peer entries
    // 1, 2, ...), the first chosen as the target of the commands. False when one did not
    // connect in time.
    bool connect_devices(std::span<QTcpSocket> devices) {
        model.tcp_role = 1;
        model.selected_peer = 1;
        set_slot_text(model.port_number, "00000");  // any free port
        if (link.tcp().socket_listen() != 1) return false;
        for (std::size_t k = 0; k < devices.size(); ++k) {
            devices[k].connectToHost(QStringLiteral("127.0.0.1"), link.tcp().server_port());
            const int n = int(k) + 1;
            if (!wait_until([&] { return link.tcp().count_peers() == n && int(link.peers().entries().size()) == n; }))
                return false;
        }
        return true;
    }
    bool connect_one_device(QTcpSocket& device) { return connect_devices({&device, 1}); }

    FakeTransport wire;
};

}  // namespace tqv::test
