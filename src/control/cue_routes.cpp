#include "control/cue_routes.h"

#include <QJsonArray>
#include <QPointer>

#include "control/cue_show.h"
#include "control/json.h"
#include "control/state.h"
#include "core/cue_steps.h"
#include "link/device_link.h"

namespace tqv {

namespace {

QJsonValue cue_position(const CueList& list, std::optional<std::size_t> index) {
    if (!index) return QJsonValue();
    QJsonObject json{{"cue", int(*index) + 1}, {"name", qs(list.cues()[*index].name)}};
    // The current cue failed part-way: it stays current until the next GO.
    if (index == list.current() && list.current_failed()) {
        json["failed"] = true;
        json["message"] = qs(list.failure());
    }
    return json;
}

int outcome_status(RunEnd end) {
    switch (end) {
        case RunEnd::completed: return 200;
        case RunEnd::stopped: return 409;
        case RunEnd::timeout: return 504;
        case RunEnd::link_lost: return 503;
        default: return 502;
    }
}

QJsonObject outcome_json(const CueOutcome& o) {
    QJsonArray steps;
    for (std::size_t i = 0; i < o.steps.size(); ++i)
        steps.append(QJsonObject{{"step", qs(o.steps[i])},
                                 {"state", i < o.states.size() ? step_state_name(o.states[i]) : ""}});
    QJsonObject json{{"cue", int(o.index) + 1},
                     {"name", qs(o.name)},
                     {"outcome", run_end_text(o.end)},
                     {"steps", steps}};
    if (!o.ok()) json["error"] = qs(o.message);
    return json;
}

// A cue that ran on several devices (or was sent to a list of them): one result each, as
// a request to several devices answers; 200 only when every device completed it.
std::pair<int, QJsonObject> outcomes_json(const CueOutcome& o) {
    QJsonArray results;
    for (const CueOutcome& e : o.devices) {
        QJsonObject one = outcome_json(e);
        one["device"] = e.device;
        one["status"] = outcome_status(e.end);
        results.append(one);
    }
    return {o.ok() ? 200 : 502, {{"cue", int(o.index) + 1}, {"name", qs(o.name)}, {"results", results}}};
}

int go_status(CueShow::Go go) {
    return go == CueShow::Go::link_down ? 503 : 409;
}

}  // namespace

CueRoutes::CueRoutes(DeviceLink& link, RequestExecutor& executor, ControlState& state,
                     const ControlLog& log)
    : link_(link), executor_(executor), state_(state), log_(log) {}

void CueRoutes::set_cues(CueShow* cues) {
    cues_ = cues;
    if (cues_ == nullptr) return;
    // A cue goes to the devices a request names, found as every request's are.
    cues_->resolve = [this](const DeviceChoice& choice) {
        std::vector<CueDevice> out;
        Fleet& fleet = link_.fleet();
        for (const FleetDevice& d : executor_.targets_of(choice)) {
            CueDevice c{d.number, nullptr, fleet.down_reason(d.number)};
            if (c.down.empty()) c.channel = fleet.channel(d);
            if (c.down.empty() && (c.channel == nullptr || !c.channel->reachable()))
                c.down = d.entry == 0 && link_.tcp_connecting() ? "the link is down; connecting again"
                                                                : "the device is not connected";
            out.push_back(std::move(c));
        }
        return out;
    };
    state_.apply("cue", {{"cue/running", QJsonValue()}, {"cue/end", QJsonValue()},
                         {"cue/refused", QJsonValue()}});
    connect(cues_, &CueShow::list_changed, this, [this] {
        state_.apply("cue", {{"cue/list", QJsonObject{{"count", int(cues_->list().size())},
                                                       {"loaded", ++cue_loads_}}}});
    });
    connect(cues_, &CueShow::position_changed, this, &CueRoutes::position_changed);
    connect(cues_, &CueShow::cue_started, this, [this](int index, int total) {
        state_.apply("cue", {{"cue/running", QJsonObject{{"cue", index + 1},
                                                         {"name", qs(cues_->list().cues()[std::size_t(index)].name)},
                                                         {"step", 0},
                                                         {"total", total}}}});
    });
    connect(cues_, &CueShow::cue_stepped, this, [this](int, int step) {
        QJsonObject running = state_.value("cue/running").toObject();
        running["step"] = step;
        state_.apply("cue", {{"cue/running", running}});
    });
    connect(cues_, &CueShow::cue_ended, this, [this](const CueOutcome& o) {
        QJsonObject end = outcome_json(o);
        end["run"] = ++cue_runs_;  // the same cue ending twice alike is still news
        state_.apply("cue", {{"cue/running", QJsonValue()}, {"cue/end", end}});
    });
    connect(cues_, &CueShow::go_refused, this, [this](const QString& source, const QString& why, int count) {
        state_.apply("cue", {{"cue/refused", QJsonObject{{"source", source}, {"reason", why}, {"count", count}}}});
    });
    state_.apply("cue", {{"cue/list", QJsonObject{{"count", int(cues_->list().size())},
                                                  {"loaded", cue_loads_}}}});
    position_changed();
}

void CueRoutes::position_changed() {
    const CueList& list = cues_->list();
    state_.apply("cue", {{"cue/current", cue_position(list, list.current())},
                         {"cue/next", cue_position(list, list.next())}});
}

QByteArray CueRoutes::cues_json() const {
    if (cues_ == nullptr) return compact(error_object("no cue list"));
    const CueList& list = cues_->list();
    QJsonArray cues;
    for (std::size_t i = 0; i < list.size(); ++i) {
        QJsonArray steps;
        for (const CueStep& s : list.cues()[i].steps) steps.append(qs(step_text(s)));
        cues.append(QJsonObject{{"cue", int(i) + 1}, {"name", qs(list.cues()[i].name)}, {"steps", steps}});
    }
    auto number = [](std::optional<std::size_t> i) { return i ? QJsonValue(int(*i) + 1) : QJsonValue(); };
    QJsonObject json{{"cues", cues},
                     {"current", number(list.current())},
                     {"next", number(list.next())},
                     {"running", cues_->running() ? number(cues_->shown_index()) : QJsonValue()},
                     {"failed", list.current_failed()}};
    if (list.current_failed()) json["message"] = qs(list.failure());
    return compact(json);
}

void CueRoutes::request(const QString& op, const QJsonObject& body, const QString& source,
                        const QString& peer, Reply reply, LimitedLog* unanswered) {
    auto answer = [&](int status, const QJsonObject& json, const QString& what) {
        const QString line = "cue/" + op + ": " + (status == 200 ? QString() : QString::number(status) + " ") + what;
        if (!reply && status != 200) {
            if (unanswered != nullptr) unanswered->say((source + " " + peer + ": " + line).toStdString());
            return;
        }
        log_.told(source, peer, line);
        if (reply) reply(status, json);
    };
    if (cues_ == nullptr) return answer(404, error_object("no cue list"), "no cue list");
    const CueList& list = cues_->list();
    // Every cue route takes "device" as every other route does; back and goto only move
    // the list, but a panel may send them the same body as its GO.
    std::string bad_device;
    const std::optional<DeviceChoice> device = parse_device_choice(body.value("device"), &bad_device);
    if (!device) return answer(400, error_object(qs(bad_device)), qs(bad_device));
    auto position = [&] {
        return QJsonObject{{"current", cue_position(list, list.current())},
                           {"next", cue_position(list, list.next())}};
    };
    if (op == "go") {
        QPointer<CueRoutes> self(this);
        const bool many = device->many();
        const CueShow::Go go = cues_->go(*device, [self, source, peer, reply, many](const CueOutcome& o) {
            if (!self) return;
            self->log_.told(source, peer, QStringLiteral("cue/go: \"%1\" %2").arg(qs(o.name), run_end_text(o.end)));
            if (!reply) return;
            // A single device keeps the single answer; a list, or steps of the cue sent to
            // other devices, answer one result per device.
            if (many || o.devices.size() > 1) {
                const auto [status, json] = outcomes_json(o);
                return reply(status, json);
            }
            reply(outcome_status(o.end), outcome_json(o));
        });
        if (go == CueShow::Go::started) return;
        if (go == CueShow::Go::cue_running) cues_->refused(source + " " + peer, go);
        const QString why = qs(cues_->refusal().empty() ? CueShow::go_text(go) : cues_->refusal());
        return answer(go_status(go), error_object(why), why);
    }
    if (op == "back") {
        if (!cues_->back()) return answer(409, error_object("no cue before the next one"), "at the top");
        return answer(200, position(), "back");
    }
    if (op == "goto") {
        const QJsonValue cue = body.value("cue");
        std::optional<std::size_t> index;
        if (cue.isString()) index = list.find(cue.toString().toStdString());
        if (cue.isDouble() && cue.toDouble() >= 1 && cue.toDouble() <= double(list.size()) &&
            cue.toDouble() == double(cue.toInt()))
            index = std::size_t(cue.toInt() - 1);
        if (!index) return answer(404, error_object("no such cue"), "no such cue");
        cues_->select_next(*index);
        return answer(200, position(), "next " + QString::number(*index + 1));
    }
    if (op == "load") {
        const QJsonValue csv = body.value("csv");
        if (!csv.isString()) return answer(400, error_object("\"csv\": the cue file as a string"), "no csv");
        std::string why;
        if (!cues_->load_csv(csv.toString().toStdString(), &why))
            return answer(cues_->running() ? 409 : 400, error_object(qs(why)), qs(why));
        return answer(200, QJsonObject{{"cues", int(list.size())}},
                      QString::number(list.size()) + " cues loaded");
    }
    answer(404, error_object("no such cue route"), "unknown");
}

}  // namespace tqv
