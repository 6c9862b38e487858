#include "app/screenshots.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QListView>
#include <QPixmap>
#include <QTcpSocket>
#include <QTimer>
#include <cstdlib>

#include "app/dialog_opener.h"
#include "dialogs/file_dialogs.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/menu_commands.h"
#include "core/cues.h"
#include "app/page_switch_dialog.h"
#include "core/codec.h"
#include "core/compare.h"
#include "settings/compare_dialog.h"
#include "core/glyph.h"
#include "core/transport.h"
#include "app/dialog_table.h"
#include "link/peer_channel.h"
#include "network/com_port_dialog.h"

namespace tqv {

namespace {

bool save(QWidget& widget, const QString& path, QString* error) {
    // Layouts asked for by the last text changes are done before the picture is taken.
    QCoreApplication::sendPostedEvents();
    if (widget.grab().save(path, "PNG")) return true;
    if (error != nullptr) *error = QStringLiteral("cannot write %1").arg(path);
    return false;
}

// A device on the serial line that takes every command but a page switch of line 1B, which
// it refuses with "Command Error" (E3): a cue that fails part-way, for the cue window's picture.
class RefusingPort : public Transport {
  public:
    explicit RefusingPort(DeviceLink& link) : link_(link) {}
    bool write(std::string_view frame) override {
        const std::string answer = frame.find("P01B") != std::string_view::npos ? "00E3\r\n" : "00GO\r\n";
        // Answered on the next pass of the loop, as a device answers after the frame.
        QTimer::singleShot(0, [this, answer] { link_.dispatcher().dispatch_serial(answer); });
        return true;
    }
    bool link_up() const override { return true; }

  private:
    DeviceLink& link_;
};

// A show under way on three devices: a title behind a glyph on ch.1 top, the speaker's
// name moved down a little, ch.2 top moved up, ch.2 bottom switched off; ch.1 bottom starts
// up switching by itself.
bool save_on_air(MainWindow& window, Model& model, DeviceLink& link, const QString& directory,
                 QString* error) {
    // Glyph 04: a triangle pointing right, the news mark.
    GlyphRecord& mark = model.glyph_data[3];
    for (int r = 0; r < kGlyphSize; ++r)
        for (int c = 0; c < kGlyphSize; ++c)
            set_glyph_dot(mark, r, c, c >= 8 && c <= 40 && std::abs(2 * r - 47) <= (40 - c) * 5 / 4);
    if (auto text = utf8_to_cp932("ニュース速報")) set_slot_text(model.title(0, 0), "\x10\x23" + *text);
    if (auto text = utf8_to_cp932("山田太郎　東京支局")) set_slot_text(model.title(1, 1), *text);
    if (auto text = utf8_to_cp932("第２チャンネル")) set_slot_text(model.title(2, 2), *text);
    if (auto text = utf8_to_cp932("準備中")) set_slot_text(model.title(3, 3), *text);
    model.current_page = {0, 1, 2, 3};
    model.startup_page = {0, kAutoPage, 2, 3};
    model.title_display[3][3] = 0;
    model.position_offset = {7, 10, 3, 7};
    model.white_level = 3;
    model.edge_level = 0;
    // The server role with three devices on this machine: device 1, the chosen one, has
    // the show above; device 2 has ch.2 top on another page, device 3 ch.1 bottom switching
    // by itself and its white level lower.
    model.interface_kind = 1;
    model.tcp_role = 1;
    model.selected_peer = 1;
    set_slot_text(model.port_number, "00000");
    std::array<QTcpSocket, 3> devices;
    if (link.tcp().socket_listen() == 1) {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        QObject::connect(&link.peers(), &PeerSet::channel_added, &loop, [&] {
            if (link.peers().entries().size() == devices.size()) loop.quit();
        });
        for (QTcpSocket& device : devices)
            device.connectToHost(QStringLiteral("127.0.0.1"), link.tcp().server_port());
        loop.exec();
    }
    const std::array<std::array<int, kTitleLines>, 2> others = {{{0, 1, 3, 3}, {0, kAutoPage, 2, 3}}};
    for (int entry = 2; entry <= 3; ++entry) {
        if (PeerChannel* c = link.peers().channel(entry)) {
            c->model().current_page = others[static_cast<std::size_t>(entry - 2)];
            if (entry == 3) c->model().white_level = 1;
        }
    }
    window.run_command(command::kOnAir);
    bool ok = true;
    if (window.on_air_window() != nullptr) {
        window.on_air_window()->resize(1180, 440);
        ok = save(*window.on_air_window(), directory + QStringLiteral("/on_air_window.png"), error);
        window.on_air_window()->close();
    }
    for (QTcpSocket& device : devices) device.abort();
    link.tcp().socket_shutdown();
    model.interface_kind = 0;
    model.tcp_role = 0;
    return ok;
}

}  // namespace

bool save_screenshots(const QString& directory, QString* error) {
    // A fresh model with the configuration defaults: no file and no device are touched.
    Model model;
    model.reset();
    model.reset_configuration();
    // The road every new operator takes first: page 05 on ch.1 Top.
    model.current_page[0] = 4;
    MessageBoxUi ui;
    DeviceLink link(model, ui);
    CornerClicks clicks;
    AppContext context{model, link, clicks};
    ui.show_over(&context.windows);
    QtFileDialogs files;
    ModalDialogOpener opener;

    QDir().mkpath(directory);
    MainWindow window(context, files, opener);
    window.show();
    // A little traffic, as a read of the page and a title line leave it.
    const QString port = QStringLiteral("/dev/ttyUSB0");
    model.com_device = port.toStdString();
    for (const char* frame : {"00RP01T\r\n", ">00P01T05\r\n", "00CWL3\r\n", ">00GO\r\n",
                              "00RCEL\r\n", ">00CEL2\r\n", "00RAST01T\r\n",
                              "00CT01T01\x93\x8c\x8b\x9e\x82\xa9\x82\xe7\x82\xcc\x92\x86\x8c\x70"
                              "\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\r\n"}) {
        const bool in = frame[0] == '>';
        emit link.traffic(!in, port, QByteArray(in ? frame + 1 : frame));
    }
    emit link.answer_timed_out();
    window.link_status()->refresh();
    PageSwitchDialog dialog(context, &window);
    dialog.show();
    bool ok = save(window, directory + QStringLiteral("/main_window.png"), error) &&
              save(dialog, directory + QStringLiteral("/page_switch_dialog.png"), error);
    dialog.close();
    ok = ok && save(*window.link_status(), directory + QStringLiteral("/status_bar.png"), error);
    window.run_command(command::kTrafficLog);
    if (TrafficLogWindow* log = window.traffic_window()) {
        // The title frame chosen: it shows whole under the list.
        log->resize(560, 300);
        log->view()->setCurrentIndex(log->view()->model()->index(log->line_count() - 2, 0));
    }
    if (ok && window.traffic_window() != nullptr)
        ok = save(*window.traffic_window(), directory + QStringLiteral("/traffic_log.png"), error);

    // A few of the other dialogs with something in them.
    if (auto title = utf8_to_cp932("タイトル発生器")) set_slot_text(model.title(0, 0), *title);
    if (auto title = utf8_to_cp932("第２チャンネル")) set_slot_text(model.title(0, 1), *title);
    for (int n = 0; n < 3; ++n) {
        GlyphRecord& g = model.glyph_data[n];
        for (int i = 0; i < kGlyphSize; ++i) {
            const bool frame = i < 4 || i >= 44;
            for (int j = 0; j < kGlyphSize; ++j) {
                const bool lit = n == 0   ? (frame || j < 4 || j >= 44)
                                 : n == 1 ? (std::abs(i - j) < 3 || std::abs(i + j - 47) < 3)
                                          : ((i / 8 + j / 8) % 2 == 0);
                set_glyph_dot(g, i, j, lit);
            }
        }
    }
    struct Shot {
        int command;
        const char* file;
    };
    const Shot shots[] = {
        {command::kTitleSetting, "/title_dialog.png"},
        {command::kGlyphList, "/glyph_list_dialog.png"},
        {command::kProtocol, "/device_network_dialog.png"},
    };
    for (const Shot& shot : shots) {
        if (!ok) break;
        auto d = make_dialog(shot.command, context, &window);
        if (!d) continue;
        d->show();
        ok = save(*d, directory + QString::fromUtf8(shot.file), error);
        d->close();
    }
    if (ok) {
        // A show prepared: the speaker chosen as the next cue.
        std::vector<Cue> cues;
        CueFileError cue_error;
        parse_cue_csv("cue,action,line,page,text,memory,seconds\n"
                      "Opening,title,1T,1,ニュース速報,memory,\nOpening,page,1T,1,,,\n"
                      "Opening,wait,,,,,3\nOpening,page,1T,AUTO,,,\n"
                      "Speaker,title,1B,2,山田太郎,nomemory,\nSpeaker,page,1B,2,,,\n"
                      "Speaker,title,1B,3,,memory,\n"
                      "Close,startup,2B,AUTO,,,\n",
                      cues, cue_error);
        window.cue_show().load(std::move(cues));
        window.cue_show().select_next(1);
        window.run_command(command::kCueList);
        if (window.cue_window() != nullptr)
            ok = save(*window.cue_window(), directory + QStringLiteral("/cue_list.png"), error);
        // The speaker's cue fired against a device that refuses its page: the step that
        // failed, the one never sent, and the message beside them.
        RefusingPort port(link);
        link.send_path().set_serial_transport(&port);
        QEventLoop loop;
        QObject::connect(&window.cue_show(), &CueShow::cue_ended, &loop, &QEventLoop::quit,
                         Qt::QueuedConnection);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        if (window.cue_show().go() == CueShow::Go::started) loop.exec();
        if (ok && window.cue_window() != nullptr)
            ok = save(*window.cue_window(), directory + QStringLiteral("/cue_list_failed.png"), error);
        link.send_path().set_serial_transport(nullptr);
    }
    if (ok) {
        // A document that differs from its device in three items.
        Model device_model = model;
        device_model.current_page[0] = 0;
        device_model.white_level = 3;
        set_slot_text(device_model.title(0, 1), "");
        CompareDialog compare(context, &window);
        compare.show_differences(compare_settings(model, SettingsBlock::of(device_model)));
        compare.show();
        ok = save(compare, directory + QStringLiteral("/compare_dialog.png"), error);
        compare.close();
    }
    if (ok) ok = save_on_air(window, model, link, directory, error);
    if (ok) {
        // The serial port choice as a run with --simulate has it, a USB adapter beside it.
        const QString simulated = QStringLiteral("/dev/pts/3");
        model.com_device = simulated.toStdString();
        link.set_simulated_port(simulated);
        ComPortDialog com(context, &window,
                          {{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FT232R USB UART"), 0x403, 0x6001}});
        com.show();
        ok = save(com, directory + QStringLiteral("/com_port_dialog.png"), error);
        com.close();
    }
    link.shutdown();
    return ok;
}

}  // namespace tqv
