// The main window: the front-panel picture with the document name, the menu and its
// enabling rules, the 500 ms answer time-out, the corner-click gesture and the orderly exit.
#pragma once

#include <QMainWindow>
#include <map>
#include <set>
#include <vector>

#include "dialogs/app_context.h"
#include "app/dialog_opener.h"
#include "dialogs/file_dialogs.h"
#include "app/link_status.h"
#include "app/panel_picture.h"
#include "app/traffic_log.h"
#include "app/cue_list_window.h"
#include "app/on_air_window.h"

class QAction;
class QCloseEvent;
class QMenu;

namespace tqv::command {
struct MenuItem;
}

namespace tqv {

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow(AppContext& context, FileDialogs& files, DialogOpener& opener,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* action(int command) const;
    QMenu* menu(const char* title) const;
    PanelPicture* panel() const { return panel_; }
    LinkStatusBar* link_status() const { return status_; }
    TrafficLog& traffic_log() { return *traffic_; }
    // The "通信ログ" window, once opened.
    TrafficLogWindow* traffic_window() const { return traffic_window_; }
    // The show's cue list, which show control fires too, and its window once opened.
    CueShow& cue_show() { return *cue_show_; }
    CueListWindow* cue_window() const { return cue_window_; }
    // The "オンエア" window, once opened.
    OnAirWindow* on_air_window() const { return on_air_window_; }

    // Runs one menu command, as choosing its item does.
    void run_command(int command);
    // The orderly exit; true when the program ends (false: it keeps running).
    bool exit_command();
    // The enabling rules, applied whenever a menu is browsed.
    void update_menu_state();
    // The caption: the document's file name ("無題" before it has one), "*" while it holds
    // unsaved changes, and the program's name for the TCP role.
    void refresh_caption();
    // A file another start of the program handed over (a double click in the file
    // manager): opened as the open commands open it, with their questions, and the window
    // comes to the front. While a dialog or box is open it waits for it to close.
    void open_file(const QString& path);
    // A file named on the command line, read once the window shows: a settings document,
    // or a glyph list, which the glyph list dialog then shows. A file that cannot be read
    // is named in the warning.
    void open_start_file(const QString& path);

    // Commands shown greyed because their dialogs are not in this build.
    void set_pending_commands(std::vector<int> commands);

  signals:
    // The exit has run: timer stopped, running 0, link shut down. The program quits.
    void quit_requested();
    // The corner-click gesture asks for the read-settings dialog.
    void read_settings_requested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void build_menu();
    void add_menu_item(const command::MenuItem& item, QAction* before);
    void show_traffic_log();
    void show_cue_list();
    void show_on_air();
    bool command_enabled(int command) const;
    void open_dialog(std::unique_ptr<QDialog> dialog);
    void open_read_settings();
    // The dialog of a settings, glyph or network command; nullptr when not in this build.
    std::unique_ptr<QDialog> make_subsystem_dialog(int command);
    static std::set<int> unserved_commands();
    // Read-settings and network dialogs need the serial link: on TCP/IP they are refused.
    bool refuse_on_tcp();
    // Shows the effect of a document command on the picture.
    void document_changed();

    AppContext& context_;
    Model& model_;
    FileDialogs& files_;
    DialogOpener& opener_;
    PanelPicture* panel_ = nullptr;
    LinkStatusBar* status_ = nullptr;
    TrafficLog* traffic_ = nullptr;
    TrafficLogWindow* traffic_window_ = nullptr;
    CueShow* cue_show_ = nullptr;
    CueListWindow* cue_window_ = nullptr;
    OnAirWindow* on_air_window_ = nullptr;
    std::map<int, QAction*> actions_;
    std::map<QString, QMenu*> menus_;
    std::set<int> pending_;
    bool ended_ = false;
};

}  // namespace tqv
