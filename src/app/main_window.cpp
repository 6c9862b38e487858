#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <functional>

#include "app/glyph_note_dialog.h"
#include "app/menu_commands.h"
#include "app/page_switch_dialog.h"
#include "app/startup.h"
#include "app/startup_page_dialog.h"
#include "app/version_dialog.h"
#include "app/dialog_table.h"
#include "app/startup.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"
#include "dialogs/model_dialog.h"

namespace tqv {

using namespace command;

namespace {

constexpr int kOpenRetryMs = 300;

}  // namespace

MainWindow::MainWindow(AppContext& context, FileDialogs& files, DialogOpener& opener,
                       QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      model_(context.model),
      files_(files),
      opener_(opener),
      pending_(unserved_commands()) {
    // Caption, system menu and minimise box: the window keeps the panel's size.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    panel_ = new PanelPicture(model_, this);
    setCentralWidget(panel_);
    // The picture keeps its size; the window grows by the bar's height.
    traffic_ = new TrafficLog(context_.link, this);
    status_ = new LinkStatusBar(context_.link, this);
    setStatusBar(status_);
    cue_show_ = new CueShow(context_.link, this);
    build_menu();
    refresh_caption();
    update_menu_state();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    move(0, 0);

    // The port is back: its loss no longer holds, and its box must not wait for an OK.
    connect(&context_.link, &DeviceLink::serial_reconnected, this,
            [this] { context_.ui().withdraw(text::kSerialPortLost); });

    model_.running = 1;
    // The serial answer time-out ("No Connect" on the seventh tick without an answer).
    context_.link.start_answer_timer();
}

MainWindow::~MainWindow() {
    delete traffic_window_;
    delete cue_window_;
    delete on_air_window_;
}

void MainWindow::build_menu() {
    for (const MenuItem& item : kMenu) add_menu_item(item, nullptr);
    for (const AddedItem& added : kAddedMenu) add_menu_item(added.item, action(added.before));
}

void MainWindow::add_menu_item(const MenuItem& item, QAction* before) {
    QMenu*& top = menus_[QString::fromUtf8(item.menu)];
    if (top == nullptr) {
        top = menuBar()->addMenu(QString::fromUtf8(item.menu));
        connect(top, &QMenu::aboutToShow, this, &MainWindow::update_menu_state);
    }
    QMenu* target = top;
    if (item.submenu != nullptr) {
        QMenu*& sub = menus_[QString::fromUtf8(item.submenu)];
        if (sub == nullptr) {
            sub = top->addMenu(QString::fromUtf8(item.submenu));
            connect(sub, &QMenu::aboutToShow, this, &MainWindow::update_menu_state);
        }
        target = sub;
    }
    // `before` nullptr: at the end of the menu.
    if (item.separator_before) target->insertSeparator(before);
    auto* action = new QAction(QString::fromUtf8(item.text), target);
    target->insertAction(before, action);
    const int id = item.command;
    connect(action, &QAction::triggered, this, [this, id] { run_command(id); });
    actions_[id] = action;
}

QAction* MainWindow::action(int command) const {
    auto it = actions_.find(command);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::menu(const char* title) const {
    auto it = menus_.find(QString::fromUtf8(title));
    return it == menus_.end() ? nullptr : it->second;
}

std::unique_ptr<QDialog> MainWindow::make_subsystem_dialog(int command) {
    return make_dialog(command, context_, this);
}

std::set<int> MainWindow::unserved_commands() {
    std::set<int> out;
    for (int command : kSubsystemCommands) {
        if (!has_dialog(command)) out.insert(command);
    }
    return out;
}

void MainWindow::set_pending_commands(std::vector<int> commands) {
    pending_ = std::set<int>(commands.begin(), commands.end());
    update_menu_state();
}

bool MainWindow::command_enabled(int command) const {
    const bool tcp = model_.interface_kind == 1;
    switch (command) {
        case kRcel:
            return false;
        case kComPort:
            if (tcp) return false;
            break;
        case kClientServer:
        case kTcpSettings:
            if (!tcp) return false;
            break;
        case kReconnect:
            return status_->reconnect_action()->isEnabled();
        case kSlaveAddress:
        case kProtocol:
            // On TCP/IP these only tell the operator to switch to RS-232C: no dialog needed.
            if (tcp) return true;
            break;
        default:
            break;
    }
    return pending_.count(command) == 0;
}

void MainWindow::update_menu_state() {
    status_->refresh();
    for (auto& [command, action] : actions_) action->setEnabled(command_enabled(command));
    panel_->update();
}

void MainWindow::refresh_caption() {
    // The document's file name, marked while it holds unsaved changes, then the program.
    const QString name =
        model_.document_path.empty()
            ? QString::fromUtf8(text::kUntitled)
            : QFileInfo(QFile::decodeName(QByteArray::fromStdString(model_.document_path)))
                  .fileName();
    setWindowTitle(
        name + (model_.document_dirty == 1 ? QStringLiteral("*") : QString()) +
        QStringLiteral(" - ") +
        QString::fromUtf8(model_.tcp_role == 1 ? text::kServerCaption : text::kClientCaption));
}

void MainWindow::document_changed() {
    panel_->update();
    refresh_caption();
}

void MainWindow::open_dialog(std::unique_ptr<QDialog> dialog) {
    // The caption follows the document while the dialog edits it, and whatever the dialog
    // changed (the role, a read into the document) once it closes.
    if (auto* edits = qobject_cast<ModelDialog*>(dialog.get()))
        connect(edits, &ModelDialog::document_edited, this, &MainWindow::refresh_caption);
    connect(dialog.get(), &QDialog::finished, this, &MainWindow::document_changed);
    opener_.open(std::move(dialog));
    // The interface, role or host may have changed in it.
    status_->refresh();
    document_changed();
}

void MainWindow::show_traffic_log() {
    // A window of its own, not one of the main window's: the dialogs are modal to the main
    // window only, and the log must stay usable beside them.
    if (traffic_window_ == nullptr) traffic_window_ = new TrafficLogWindow(*traffic_, nullptr);
    traffic_window_->show();
    traffic_window_->raise();
    traffic_window_->activateWindow();
}

void MainWindow::show_cue_list() {
    // Beside the main window and its dialogs, as the log: the operator keeps it open.
    if (cue_window_ == nullptr) cue_window_ = new CueListWindow(*cue_show_, context_.ui(), &files_, nullptr);
    cue_window_->show();
    cue_window_->raise();
    cue_window_->activateWindow();
}

void MainWindow::show_on_air() {
    // Beside the dialogs, as the log: the operator watches it while switching pages.
    if (on_air_window_ == nullptr) on_air_window_ = new OnAirWindow(context_.link, nullptr);
    on_air_window_->show();
    on_air_window_->raise();
    on_air_window_->activateWindow();
}

void MainWindow::open_read_settings() {
    if (auto dialog = make_subsystem_dialog(kReadSettings)) open_dialog(std::move(dialog));
}

bool MainWindow::refuse_on_tcp() {
    if (model_.interface_kind != 1) return false;
    error_box(context_.ui(), text::kUseRs232c);
    return true;
}

void MainWindow::run_command(int command) {
    if (!command_enabled(command)) return;
    auto choose_open = [this] { return files_.choose_open(this); };
    auto choose_save = [this] { return files_.choose_save(this); };
    switch (command) {
        case kNew:
            document_new(model_, context_.ui());
            document_changed();
            break;
        case kOpen:
            document_open(model_, context_.ui(), choose_open);
            document_changed();
            break;
        case kSave:
            document_save(model_, context_.ui());
            document_changed();
            break;
        case kSaveAs:
            document_save_as(model_, context_.ui(), choose_save);
            document_changed();
            break;
        case kExit:
            close();
            break;
        case kPageSwitch:
            open_dialog(std::make_unique<PageSwitchDialog>(context_, this));
            break;
        case kStartupPage:
            open_dialog(std::make_unique<StartupPageDialog>(context_, this));
            break;
        case kVersion:
            open_dialog(std::make_unique<VersionDialog>(context_, this));
            break;
        case kGlyphNote:
            open_dialog(std::make_unique<GlyphNoteDialog>(context_, this));
            break;
        case kTrafficLog:
            show_traffic_log();
            break;
        case kCueList:
            show_cue_list();
            break;
        case kOnAir:
            show_on_air();
            break;
        case kReconnect:
            status_->reconnect_action()->trigger();
            break;
        case kReadSettings:
            open_read_settings();
            break;
        case kSlaveAddress:
        case kProtocol:
            // The device's address and network values travel over RS-232C only.
            if (refuse_on_tcp()) break;
            if (auto dialog = make_subsystem_dialog(command)) open_dialog(std::move(dialog));
            break;
        default:
            if (auto dialog = make_subsystem_dialog(command)) open_dialog(std::move(dialog));
            break;
    }
}

void MainWindow::open_start_file(const QString& path) {
    const StartFile opened = tqv::open_start_file(model_, context_.ui(), path);
    document_changed();
    if (opened == StartFile::none) return;
    files_.used(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString());
    if (opened == StartFile::glyph_list) run_command(kGlyphList);
}

bool MainWindow::exit_command() {
    if (ended_) return true;
    Ui& ui = context_.ui();
    // Every question comes before anything closes or is discarded, so that an answer which
    // keeps the program running finds every window and every change as it was. Each one
    // says whether the exit may go on.
    const std::function<bool()> questions[] = {
        // Only a connection that is still up is asked about; one the device has closed is
        // gone. はい: the shutdown below disconnects it, once every other question has been
        // answered.
        [&] {
            return model_.tcp_connected != 1 || !context_.link.tcp().link_up() ||
                   ui.ask(text::kAskDisconnectAndExit, text::kAppCaption);
        },
        // The document: "No" keeps the changes first. A save that fails, or a save-as
        // dialog that is cancelled, keeps the program running rather than losing them.
        [&] {
            if (model_.document_dirty != 1 || ui.ask(text::kAskExit, text::kAppCaption)) return true;
            const bool saved =
                model_.document_path.empty()
                    ? document_save_as(model_, ui, [this] { return files_.choose_save(this); })
                    : document_save(model_, ui);
            document_changed();
            return saved;
        },
        // Glyphs are no part of the document: their own question, in the same manner.
        [&] {
            return glyph_list_may_discard(model_, ui, text::kAskExitGlyphs,
                                          [this] { return files_.choose_save_glyph_list(this); });
        },
        [&] { return cue_window_ == nullptr || cue_window_->may_discard(text::kAskExitCues); },
    };
    for (const auto& may_end : questions)
        if (!may_end()) return false;
    if (cue_window_ != nullptr) cue_window_->close_discarding();
    context_.link.stop_answer_timer();
    model_.running = 0;
    context_.link.shutdown();
    ended_ = true;
    emit quit_requested();
    return true;
}

void MainWindow::open_file(const QString& path) {
    if (isMinimized()) showNormal();
    raise();
    activateWindow();
    // Not under an open dialog or box, whose values it would change: once it has closed.
    if (QApplication::activeModalWidget() != nullptr) {
        QTimer::singleShot(kOpenRetryMs, this, [this, path] { open_file(path); });
        return;
    }
    const std::string file = QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
    const auto chosen = [file] { return std::optional<std::string>(file); };
    if (names_glyph_list(path)) {
        if (glyph_list_open(model_, context_.ui(), chosen)) run_command(kGlyphList);
    } else {
        document_open(model_, context_.ui(), chosen);
        document_changed();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (exit_command()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
    if (context_.corner_clicks.click(event->globalPos().x(), event->globalPos().y())) {
        emit read_settings_requested();
        open_read_settings();
    }
}

}  // namespace tqv
