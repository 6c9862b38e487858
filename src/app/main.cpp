// tqv7310nx: the control program of the TQV-7310NX title generator.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <cstring>

#include "app/appearance.h"
#include "app/dialog_opener.h"
#include "dialogs/file_dialogs.h"
#include "app/main_window.h"
#include "app/menu_commands.h"
#include "app/message_boxes.h"
#include "app/screenshots.h"
#include "app/simulator_process.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "control/control.h"
#include "core/box_queue.h"
#include "core/config.h"

namespace {

constexpr int kSimulatorReadyMs = 10000;

bool has_argument(int argc, char** argv, const char* name) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0) return true;
    }
    return false;
}

int fail(const QString& message) {
    QTextStream(stderr) << "tqv7310nx: " << message << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("tqv7310nx"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.32"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control program of the TQV-7310NX title generator."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption simulate(
        QStringLiteral("simulate"),
        QStringLiteral(
            "Start the simulated device on a pseudo-terminal and use it as the serial port."));
    const QCommandLineOption serial(QStringLiteral("serial"),
                                    QStringLiteral("Use this serial port for this run."),
                                    QStringLiteral("path"));
    const QCommandLineOption screenshot(
        QStringLiteral("screenshot"),
        QStringLiteral("Save pictures of the main window and of the dialogs the README shows, "
                       "then end."),
        QStringLiteral("directory"));
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Append every frame sent, every line received and every time-out, lost "
                       "link and reconnection to this file, as the traffic log window shows "
                       "them."),
        QStringLiteral("file"));
    parser.addOptions({simulate, serial, screenshot, log});
    parser.addPositionalArgument(
        QStringLiteral("file"),
        QStringLiteral("A settings document (.dat) to open, or a glyph list (.tll) to show. "
                       "When the program runs already, that copy opens it."),
        QStringLiteral("[file]"));
    // Help and version are printed before any window system is asked for, so that they work
    // without a display. Options of Qt's own (-platform ...) are not known yet: the full
    // check follows once the application exists.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    parser.parse(arguments);
    if (parser.isSet(help)) {
        // Without an application object the parser cannot know the program's name.
        QTextStream(stdout) << parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                         QFileInfo(arguments.value(0)).fileName());
        return 0;
    }
    if (parser.isSet(version)) parser.showVersion();

    // Screenshots are taken without a display, so that they look the same everywhere. The
    // platform has to be chosen before the application object exists.
    if (has_argument(argc, argv, "--screenshot") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    // --help-all names Qt's own options too, which only the application object knows; it
    // shows no window, so it needs no display either (the parser prints it and ends).
    if (has_argument(argc, argv, "--help-all")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setWindowIcon(tqv::app_icon());
    // Wayland desktops find the menu entry, and so the icon, of the window by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("tqv7310nx"));
    tqv::use_japanese(app);
    parser.process(app);

    if (parser.isSet(screenshot)) {
        QString error;
        return tqv::save_screenshots(parser.value(screenshot), &error) ? 0 : fail(error);
    }

    tqv::Model model;
    tqv::MessageBoxUi message_boxes;
    // The boxes raised while answers are handled open once the handling has returned.
    tqv::BoxQueue ui(message_boxes);
    const QStringList start_files = parser.positionalArguments();
    tqv::SingleInstance instance;
    if (!instance.acquire(ui, start_files.value(0))) return 0;

    tqv::ControlUi link_ui(ui);
    tqv::DeviceLink link(model, link_ui);
    tqv::start_model(model, link, tqv::configuration_path());

    // A port given for this run (or the simulator's) replaces the configured one without
    // writing the configuration file.
    tqv::SimulatorProcess simulator;
    QString serial_path = parser.value(serial);
    if (parser.isSet(simulate)) {
        QString error;
        serial_path = simulator.start_serial(tqv::SimulatorProcess::default_program(), {},
                                             kSimulatorReadyMs, &error);
        if (serial_path.isEmpty()) return fail(error);
    }
    if (parser.isSet(simulate)) link.set_simulated_port(serial_path);
    if (!serial_path.isEmpty()) {
        model.interface_kind = 0;
        model.com_device = serial_path.toStdString();
    }

    tqv::CornerClicks corner_clicks;
    tqv::IniFile config(tqv::configuration_path().toStdString());
    tqv::QtFileDialogs files(&config);
    tqv::AppContext context{model, link, corner_clicks, &config, &files};
    message_boxes.show_over(&context.windows);
    tqv::ModalDialogOpener opener;
    tqv::MainWindow window(context, files, opener);
    if (parser.isSet(log)) {
        QString error;
        if (!window.traffic_log().write_to(parser.value(log), &error)) return fail(error);
    }
    QObject::connect(&window, &tqv::MainWindow::quit_requested, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    window.show();
    // Files double-clicked while this copy runs come here.
    instance.accept_files([&window](const QString& path) { window.open_file(path); });
    if (!start_files.isEmpty()) {
        // Once the loop runs and the window shows: a box about the file, or the glyph list
        // (modal), appears over it.
        QTimer::singleShot(0, &window,
                           [&window, path = start_files.first()] { window.open_start_file(path); });
    }

    if (model.interface_kind == 0) link.open_serial(serial_path);
    // A lost TCP connection comes back by itself; with reconnect_check=1 the device is then
    // read and compared with the document first.
    link.set_auto_reconnect(true);
    link.set_reconnect_check(config.get(tqv::kConfigSection, "reconnect_check", "0") == "1");
    // Button panels and playout systems switch pages while the operator works.
    std::string control_error;
    const auto control =
        tqv::start_control(link, tqv::read_control_configuration(config), &control_error);
    link_ui.control = control.get();
    if (control != nullptr) control->set_cues(&window.cue_show());
    if (!control_error.empty()) std::fprintf(stderr, "tqv7310nx: %s\n", control_error.c_str());
    if (control != nullptr && control->active()) {
        QStringList on;
        const QString bind = QString::fromStdString(tqv::read_control_configuration(config).bind);
        if (control->http_port() != 0) on << QStringLiteral("HTTP %1:%2").arg(bind).arg(control->http_port());
        if (control->osc_port() != 0) on << QStringLiteral("OSC %1:%2").arg(bind).arg(control->osc_port());
        if (control->rosstalk_port() != 0)
            on << QStringLiteral("RossTalk %1:%2").arg(bind).arg(control->rosstalk_port());
        window.link_status()->set_control_text(QStringLiteral("制御 ") + on.join(QStringLiteral(", ")));
        QObject::connect(control.get(), &tqv::Control::remote, &window,
                         [&window](const QString& who, const QString& what) {
                             window.traffic_log().remote(who, what);
                             window.link_status()->show_remote(
                                 QStringLiteral("リモート %1: %2").arg(who, what));
                         });
        QAction* lock = window.menu(tqv::command::kInterfaceMenu)
                            ->addAction(QStringLiteral("リモート操作を禁止"));
        lock->setCheckable(true);
        lock->setChecked(control->locked());
        QObject::connect(lock, &QAction::toggled, control.get(), [&config, c = control.get()](bool on) {
            c->set_locked(on);
            tqv::write_control_lock(on, config);
        });
        window.link_status()->follow_remote_lock(lock);
    }

    const int code = QApplication::exec();
    simulator.stop();
    return code;
}
