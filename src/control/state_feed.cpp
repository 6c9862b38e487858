#include "control/state_feed.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

#include "control/executor.h"
#include "control/cue_show.h"
#include "control/json.h"
#include "control/state.h"
#include "core/answers.h"
#include "core/bulk.h"
#include "core/codec.h"
#include "core/titles.h"
#include "link/device_link.h"

namespace tqv {

namespace {

const char* outcome_name(ExchangeEnd::Kind kind) {
    switch (kind) {
        case ExchangeEnd::Kind::answered:
            return "answered";
        case ExchangeEnd::Kind::error_answer:
            return "error answer";
        case ExchangeEnd::Kind::timeout:
            return "time-out";
        case ExchangeEnd::Kind::not_sent:
            return "not sent";
        case ExchangeEnd::Kind::lost:
            return "lost";
    }
    return "";
}


QJsonValue page_value(int page) {
    return page >= kAutoPage ? QJsonValue("AUTO") : QJsonValue(page + 1);
}

QString device_path(int device, const QString& path) {
    return QStringLiteral("devices/%1/%2").arg(device).arg(path);
}

QString line_path(int line, const char* leaf) {
    return QStringLiteral("lines/%1/%2").arg(line_label(line), leaf);
}

QString title_path(int slot) {
    return QStringLiteral("lines/%1/titles/%2")
        .arg(line_label(slot / kPages))
        .arg(slot % kPages + 1, 2, 10, QLatin1Char('0'));
}

// Whether a page's title is displayed when the page is on air.
QString display_path(int line, int page) {
    return QStringLiteral("lines/%1/display/%2")
        .arg(line_label(line))
        .arg(page + 1, 2, 10, QLatin1Char('0'));
}

QString title_text(const Model& m, int slot) {
    return qs(cp932_to_utf8(slot_text(m.titles[std::size_t(slot)])));
}

// The state paths of one value of the model, with the model's values: only what was touched
// is converted (a title from code page 932) and announced.
QJsonObject touched_paths(const Model& m, const Touched& t) {
    QJsonObject out;
    const auto line = std::size_t(t.index);
    switch (t.kind) {
        case Touched::Kind::page:
            out[line_path(t.index, "page")] = page_value(m.current_page[line]);
            break;
        case Touched::Kind::startup:
            out[line_path(t.index, "startup")] = page_value(m.startup_page[line]);
            break;
        case Touched::Kind::title:
            out[title_path(t.index)] = title_text(m, t.index);
            break;
        case Touched::Kind::display:
            for (int p = 0; p < kPages; ++p)
                out[display_path(t.index, p)] = m.title_display[line][std::size_t(p)] != 0;
            break;
        case Touched::Kind::position:
            out[line_path(t.index, "position")] = m.position_offset[line];
            break;
        case Touched::Kind::white_level:
            out["levels/white"] = m.white_level;
            break;
        case Touched::Kind::edge_level:
            out["levels/edge"] = m.edge_level;
            break;
    }
    return out;
}

// The state path of what an answered command set, with the value the command carried.
QJsonObject setting_paths(const CommandSetting& s) {
    const Touched& t = s.touched;
    switch (t.kind) {
        case Touched::Kind::title: return {{title_path(t.index), qs(cp932_to_utf8(s.title))}};
        case Touched::Kind::position: return {{line_path(t.index, "position"), s.value}};
        case Touched::Kind::white_level: return {{"levels/white", s.value}};
        case Touched::Kind::edge_level: return {{"levels/edge", s.value}};
        case Touched::Kind::page:
        case Touched::Kind::startup:
        case Touched::Kind::display: break;
    }
    return {{line_path(t.index, t.kind == Touched::Kind::page ? "page" : "startup"), page_value(s.page)}};
}

QJsonObject device_json(const FleetDevice& d) {
    return {{"device", d.number},
            {"address", d.address},
            {"port", d.port != 0 ? QJsonValue(int(d.port)) : QJsonValue()},
            {"up", d.up()},
            {"status", status_name(d.status)},
            {"target", d.target}};
}

}  // namespace

StateFeed::StateFeed(DeviceLink& link, ControlState& state, RequestExecutor& executor)
    : link_(link), state_(state), executor_(executor) {
    connect(&link_, &DeviceLink::exchange_ended, this, &StateFeed::link_exchange_ended);
    executor_.answered = [this](const std::string& body, bool read, const QString& source,
                                Channel& channel, int device) {
        answered(body, read, source, channel, device);
    };
    // What a run (a cue, a dialog's transfer) got the device to hold is confirmed as well.
    connect(&link_, &DeviceLink::run_command_answered, this, [this](const QByteArray& frame) {
        if (const auto setting = command_setting(frame.toStdString()))
            announce(setting_paths(*setting), run_source(), link_, executor_.target_device());
    });
    // Every run on the link, whoever started it; the check after a reconnect is the
    // device's own.
    run_news_ = Subscription(static_cast<Channel&>(link_).run_news, [this](const RunNews& news) {
        const bool ended = news.kind == RunNews::Kind::ended;
        QJsonObject changes{{"run/active", !ended}, {"run/step", news.step}, {"run/total", news.total}};
        changes["run/end"] = ended ? QJsonValue(run_end_key(news.end)) : QJsonValue();
        state_.apply(link_.reconnect_check_running() ? QStringLiteral("device") : run_source(), changes);
    });
    connect(&link_, &DeviceLink::reconnect_checked, this,
            [this](bool completed, const std::vector<SettingDifference>& differences) {
                if (!completed) return;
                QJsonArray items;
                for (const SettingDifference& d : differences)
                    items.append(QJsonObject{{"item", qs(d.item)},
                                             {"document", qs(d.document_value)},
                                             {"device", qs(d.device_value)}});
                state_.apply("device", {{"device/differs",
                                         QJsonObject{{"count", int(differences.size())},
                                                     {"items", items}}}});
            });
    // What an answer line wrote into the model is the device's word (a read).
    answer_touched_ = Subscription(link_.dispatcher().touched,
                                   [this](const Touched& t) { model_answered(t); });
    connect(&link_, &DeviceLink::answer_applied, this, &StateFeed::link_changed);
    connect(&link_, &DeviceLink::state_changed, this, &StateFeed::link_changed);
    // Nothing is confirmed yet: every path is there, without a value.
    QJsonObject initial;
    for (int i = 0; i < kTitleLines; ++i) {
        initial[line_path(i, "page")] = QJsonValue();
        initial[line_path(i, "startup")] = QJsonValue();
        initial[line_path(i, "position")] = QJsonValue();
    }
    initial["levels/white"] = QJsonValue();
    initial["levels/edge"] = QJsonValue();
    for (int t = 0; t < kTitles; ++t) initial[title_path(t)] = QJsonValue();
    for (int i = 0; i < kTitleLines; ++i)
        for (int p = 0; p < kPages; ++p) initial[display_path(i, p)] = QJsonValue();
    for (const char* path : {"run/step", "run/total", "run/end", "device/differs", "link/devices"})
        initial[path] = QJsonValue();
    initial["run/active"] = false;
    initial["remote/locked"] = false;
    initial["link/down"] = QJsonArray();
    state_.apply("device", initial);
    link_changed();
}

void StateFeed::answered(const std::string& body, bool read, const QString& source,
                         Channel& channel, int device) {
    if (const auto setting = command_setting(body)) {
        announce(setting_paths(*setting), source, channel, device);
    } else if (const std::optional<ReadItem> item = read ? read_item(body) : std::nullopt) {
        // A read: the value the device answered is the channel's record now.
        const Touched touched{item->kind == ReadItem::Kind::page      ? Touched::Kind::page
                              : item->kind == ReadItem::Kind::startup ? Touched::Kind::startup
                              : item->kind == ReadItem::Kind::display ? Touched::Kind::display
                                                                      : Touched::Kind::title,
                              item->kind == ReadItem::Kind::title ? item->slot : item->line};
        announce(touched_paths(channel.model(), touched), source, channel, device);
    }
}

void StateFeed::set_cues(CueShow* cues) {
    cues_ = cues;
    cue_answers_.reset();
    if (cues == nullptr) return;
    cue_answers_ = Subscription(cues->answered_elsewhere, [this](int device, Channel& channel, std::string_view frame) {
        if (const auto setting = command_setting(frame)) announce(setting_paths(*setting), "cue", channel, device);
    });
}

QString StateFeed::run_source() const {
    return cues_ != nullptr && cues_->running() ? QStringLiteral("cue") : QStringLiteral("dialog");
}

void StateFeed::link_exchange_ended(const ExchangeEnd& end) {
    QJsonObject last{{"frame", qs(trimmed_frame(end.frame))},
                     {"outcome", outcome_name(end.kind)},
                     {"answer", qs(end.answer)}};
    last_exchange_ = compact(last).toStdString();
    // A dialog's command; ours is confirmed by its lane.
    if (end.kind != ExchangeEnd::Kind::answered || executor_.carries(end.ticket)) return;
    if (const auto setting = command_setting(end.frame))
        announce(setting_paths(*setting), "dialog", link_, executor_.target_device());
}

void StateFeed::announce(const QJsonObject& changes, const QString& source, Channel& channel,
                         int device) {
    // The link's own device is the lines/ of the state; in the server role every device
    // also has its own under devices/N/.
    QJsonObject paths;
    const bool own = &channel == static_cast<Channel*>(&link_);
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (own) paths[it.key()] = it.value();
        if (executor_.server_role()) paths[device_path(device, it.key())] = it.value();
    }
    state_.apply(source, paths);
}

// An answer line wrote a value into the link's model: it came from the device (a read). An
// answer to our own command ("GO") touches nothing there.
void StateFeed::model_answered(const Touched& touched) {
    state_.apply("device", touched_paths(link_.model(), touched));
}

void StateFeed::link_changed() {
    const Model& m = link_.model();
    QJsonObject link;
    QString status;
    if (m.interface_kind == 0) {
        link["link/kind"] = "serial";
        link["link/target"] = link_.serial().path();
        switch (link_.serial_state()) {
            case DeviceLink::SerialState::open:
                status = "ok";
                break;
            case DeviceLink::SerialState::lost:
                status = "disconnected";
                break;
            case DeviceLink::SerialState::closed:
                status = "connection_failure";
                break;
        }
    } else {
        link["link/kind"] = "tcp";
        std::string target;
        if (m.tcp_role == 0 && m.selected_peer >= 0 && m.selected_peer < kHostListSize) {
            const Ipv4& h = m.host_list[std::size_t(m.selected_peer)];
            target = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." +
                     std::to_string(h[2]) + "." + std::to_string(h[3]) + ":" +
                     slot_text(m.port_number);
        } else {
            target = "peer " + std::to_string(m.selected_peer);
        }
        link["link/target"] = qs(target);
        status = m.tcp_connected == 1 && link_.tcp().link_up() ? "ok"
                 : link_.tcp_connecting()                       ? "connecting"
                 : link_.tcp_lost()                             ? "disconnected"
                                                                : "connection_failure";
    }
    // In the server role the devices say it (devices_changed).
    if (!executor_.server_role()) link["link/status"] = status;
    state_.apply("device", link);
    devices_changed();
}

QJsonObject StateFeed::device_summary(const std::vector<FleetDevice>& list) const {
    QJsonArray down;
    int up = 0;
    int count = int(list.size());
    for (const FleetDevice& d : list) {
        up += d.up();
        if (!d.up()) down.append(device_json(d));
    }
    // The program's devices have no numbers while away: those seen since listening count,
    // by address.
    if (executor_.program_peers()) {
        const PeerSet& peers = link_.peers();
        up = peers.known_up();
        count = int(peers.known().size());
        for (const PeerSet::Known& k : peers.known())
            if (!k.up) down.append(QJsonObject{{"address", k.address}, {"up", false}, {"status", "lost"}});
    }
    return {{"link/devices", QStringLiteral("%1/%2").arg(up).arg(count)}, {"link/down", down}};
}

void StateFeed::devices_changed() {
    const std::vector<FleetDevice> list = link_.fleet().devices();
    QJsonObject changes = device_summary(list);
    if (executor_.server_role()) {
        std::vector<int> now;
        bool target_up = false;
        for (const FleetDevice& d : list) {
            changes[device_path(d.number, "up")] = d.up();
            changes[device_path(d.number, "status")] = status_name(d.status);
            changes[device_path(d.number, "address")] = d.address;
            changes[device_path(d.number, "port")] = d.port != 0 ? QJsonValue(int(d.port)) : QJsonValue();
            target_up = target_up || (d.target && d.up());
            now.push_back(d.number);
        }
        for (int index : devices_shown_) {
            if (std::find(now.begin(), now.end(), index) != now.end()) continue;
            changes[device_path(index, "up")] = false;
            changes[device_path(index, "status")] = "lost";
        }
        for (int index : now)
            if (std::find(devices_shown_.begin(), devices_shown_.end(), index) == devices_shown_.end())
                devices_shown_.push_back(index);
        // The link is the default target's: up the moment it is, whoever else is missing.
        const bool seen = !list.empty() || !link_.peers().known().empty();
        changes["link/status"] = target_up                             ? "ok"
                                 : link_.tcp().listening() && seen ? "disconnected"
                                                                   : "connection_failure";
    }
    state_.apply("device", changes);
    executor_.devices_changed(list);
}

QByteArray StateFeed::devices_json() const {
    QJsonArray list;
    for (const FleetDevice& d : link_.fleet().devices()) list.append(device_json(d));
    return compact({{"devices", list}});
}

QByteArray StateFeed::status_json(bool locked) const {
    const QJsonObject& s = state_.state();
    QJsonObject link{{"kind", s.value("link/kind")},
                     {"target", s.value("link/target")},
                     {"up", s.value("link/status") == QJsonValue("ok")},
                     {"status", s.value("link/status")},
                     {"devices", s.value("link/devices")},
                     {"down", s.value("link/down")}};
    // Only what the device confirmed; null before it has.
    QJsonObject pages;
    for (int i = 0; i < kTitleLines; ++i)
        pages[line_label(i)] = s.value(line_path(i, "page"));
    QJsonObject status{{"link", link},
                       {"run", link_.send_path().run_under_way()},
                       {"waiting", executor_.waiting()},
                       {"pages", pages},
                       {"locked", locked}};
    status["last_exchange"] =
        last_exchange_.empty()
            ? QJsonValue()
            : QJsonValue(QJsonDocument::fromJson(last_exchange_.c_str()).object());
    return compact(status);
}

QByteArray StateFeed::titles_json() const {
    const Model& m = link_.model();
    QJsonObject lines;
    for (int i = 0; i < kTitleLines; ++i) {
        QJsonObject pages;
        for (int p = 0; p < kPages; ++p)
            pages[QStringLiteral("%1").arg(p + 1, 2, 10, QLatin1Char('0'))] =
                title_text(m, Model::title_slot(i, p));
        lines[line_label(i)] = pages;
    }
    return compact({{"titles", lines}});
}

}  // namespace tqv
