#include "control/executor.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QPointer>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <optional>

#include "control/json.h"
#include "control/state.h"
#include "core/bulk.h"
#include "core/observers.h"
#include "link/device_link.h"

namespace tqv {

// One client's request, over one device or several.
struct RequestExecutor::Request {
    ControlCommand command;
    std::uint64_t number = 0;
    QString source;  // "http", "osc", "ws"
    QString peer;
    Reply reply;  // none when the client cannot be answered
    QElapsedTimer age;
    bool many = false;  // answered with one result per device
    std::vector<std::pair<int, QJsonObject>> results;  // status and result, per device
    std::size_t open = 0;                              // devices still to end
};

// The part of a request one device carries out.
struct RequestExecutor::Job {
    std::shared_ptr<Request> request;
    std::size_t slot = 0;  // its place among the request's results
    int device = 1;
    QString address;
    std::string body;  // the command, once sent (a read's from the start)
    bool read = false;  // a read of the device's state, asked for by nobody waiting
    Ticket ticket = 0;  // the send path's id of it, to tell its end from others'
};

// One device's requests: in the order they came, one in flight at a time, on the channel
// of the device, whose send path tells how each ended.
struct RequestExecutor::Lane {
    int device = 1;
    std::deque<Job> waiting;
    std::optional<Job> in_flight;
    std::string box;  // what the link would have told the operator about it
    Channel* channel = nullptr;  // where the one in flight went
    QPointer<QObject> holder;    // the channel's object, when it is a peer's
    Subscription ended;
    QTimer guard;
};

RequestExecutor::RequestExecutor(DeviceLink& link, const ControlState& state, const DeviceList& list,
                                 const ControlLog& log)
    : link_(link), state_(state), list_(list), log_(log) {
    // A device that came up is read once the signal that said so has returned.
    reads_due_.setSingleShot(true);
    connect(&reads_due_, &QTimer::timeout, this, &RequestExecutor::start_reads);
}

RequestExecutor::~RequestExecutor() {
    // A peer's channel that has gone took its observer list along.
    for (const auto& [device, l] : lanes_)
        if (l->channel != static_cast<Channel*>(&link_) && l->holder.isNull()) l->ended.release();
}

void RequestExecutor::box_shown(std::string_view text) {
    if (Lane* l = own_lane()) l->box = text;
}

bool RequestExecutor::carries(Ticket ticket) const {
    const Lane* own = own_lane();
    return own != nullptr && own->in_flight->ticket == ticket;
}

int RequestExecutor::waiting() const {
    int waiting = 0;
    for (const auto& [device, l] : lanes_) waiting += int(l->waiting.size()) + (l->in_flight ? 1 : 0);
    return waiting;
}

// Every route's request ends here, whatever carried it.
void RequestExecutor::submit(ControlCommand::Kind kind, ParsedCommand parsed, const QString& source,
                             const QString& peer, Reply reply) {
    auto refuse = [&](int status, const QString& text) {
        log_.told(source, peer, QStringLiteral("%1: %2 %3").arg(operation_name(kind)).arg(status).arg(text));
        if (reply) reply(status, error_object(text));
    };
    if (!parsed.command) return refuse(400, qs(parsed.error));
    const std::vector<ControlDevice> targets = targets_of(parsed.device);
    if (targets.empty()) return refuse(503, parsed.device.given ? "no device connected" : "no device chosen");
    auto r = std::make_shared<Request>();
    r->command = std::move(*parsed.command);
    r->source = source;
    r->peer = peer;
    r->reply = std::move(reply);
    r->number = ++requests_;
    r->age.start();
    r->many = parsed.device.many();
    r->results.resize(targets.size());
    r->open = targets.size();
    std::vector<Lane*> touched;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const ControlDevice& d = targets[i];
        Job job{r, i, d.index, d.address, {}};
        if (d.entry < 0) {
            finish(job, 404, "error", "no device " + std::to_string(d.index));
            continue;
        }
        Channel* channel = d.up ? channel_of(d) : nullptr;
        if (channel != nullptr && channel->send_path().run_under_way()) {
            finish(job, 409, "error", "a bulk run holds the link");
            continue;
        }
        Lane& l = lane(d.index);
        // The reads of the device's state wait behind every request.
        const auto reads = std::find_if(l.waiting.begin(), l.waiting.end(), [](const Job& j) { return j.read; });
        if (reads - l.waiting.begin() >= kMaxWaiting) {
            finish(job, 503, "error", "too many requests waiting");
            continue;
        }
        l.waiting.insert(reads, std::move(job));
        touched.push_back(&l);
    }
    for (Lane* l : touched) pump(*l);
}

// The devices a request is meant for: those named (entry -1 for a number no device has),
// or the default target.
std::vector<ControlDevice> RequestExecutor::targets_of(const DeviceChoice& choice) const {
    const std::vector<ControlDevice> known = devices();
    std::vector<ControlDevice> targets;
    if (choice.all) {
        targets = known;
    } else if (!choice.given) {
        for (const ControlDevice& d : known)
            if (d.target) targets.push_back(d);
    } else {
        for (int index : choice.indexes) {
            auto it = std::find_if(known.begin(), known.end(),
                                   [index](const ControlDevice& d) { return d.index == index; });
            ControlDevice unknown;
            unknown.index = index;
            unknown.entry = -1;
            targets.push_back(it != known.end() ? *it : unknown);
        }
    }
    return targets;
}

// Why a device named by a request cannot take a command now; empty when it can.
std::string RequestExecutor::down_reason(const ControlDevice& device) const {
    if (device.entry < 0) return "no device " + std::to_string(device.index);
    if (device.up) return {};
    if (device.entry == 0 && link_.tcp_connecting()) return "the link is down; connecting again";
    if (device.status == "absent") return "device " + std::to_string(device.index) + " is absent";
    return "the device is not connected";
}

RequestExecutor::Lane& RequestExecutor::lane(int device) {
    std::unique_ptr<Lane>& l = lanes_[device];
    if (!l) {
        l = std::make_unique<Lane>();
        l->device = device;
        l->guard.setSingleShot(true);
        l->guard.setInterval(SendPath::kExchangeGuardMs);
        connect(&l->guard, &QTimer::timeout, this, [this, lane = l.get()] {
            if (!lane->in_flight) return;
            Job job = std::move(*lane->in_flight);
            let_go(*lane);
            finish(job, 504, "error", "no end of the exchange was told in time");
            pump(*lane);
        });
    }
    return *l;
}

RequestExecutor::Lane* RequestExecutor::own_lane() const {
    for (const auto& [device, l] : lanes_)
        if (l->in_flight && l->channel == static_cast<Channel*>(&link_)) return l.get();
    return nullptr;
}

bool RequestExecutor::server_role() const {
    const Model& m = link_.model();
    return m.interface_kind == 1 && m.tcp_role == 1;
}

std::vector<ControlDevice> RequestExecutor::devices() const {
    if (list_) return list_();
    const Model& m = link_.model();
    std::vector<ControlDevice> out;
    if (server_role()) {
        for (int entry : link_.peers().entries())
            out.push_back({entry, entry, qs(link_.tcp().peer_address(entry)), true,
                           entry == m.selected_peer, link_.tcp().peer_port(entry), "up"});
        return out;
    }
    const QJsonObject& s = state_.state();
    const QString status = s.value("link/status").toString();
    // The serial port's path, or the host and port the client connects to.
    QString address = s.value("link/target").toString();
    quint16 port = 0;
    if (m.interface_kind == 1) {
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        port = colon < 0 ? 0 : quint16(address.mid(colon + 1).toUInt());
        if (colon >= 0) address.truncate(colon);
    }
    out.push_back({1, 0, address, status == "ok", true, port,
                   status == "ok" ? "up" : status == "connecting" ? "connecting" : "lost"});
    return out;
}

Channel* RequestExecutor::channel_of(const ControlDevice& device) {
    if (device.entry == 0) return &link_;
    return link_.channel_of_peer(device.entry);
}

void RequestExecutor::devices_changed(const std::vector<ControlDevice>& list) {
    // A device that went away is read again when it comes back.
    bool due = false;
    for (const ControlDevice& d : list) {
        auto it = read_since_up_.find(d.index);
        // Away, or back on another entry in between.
        const bool read = it != read_since_up_.end() && d.up && it->second == d.entry;
        if (!read && it != read_since_up_.end()) read_since_up_.erase(it);
        due = due || (d.up && !read);
    }
    std::erase_if(read_since_up_, [&](const auto& r) {
        return std::none_of(list.begin(), list.end(), [&](const ControlDevice& d) { return d.index == r.first; });
    });
    // Once the signal that said so has returned.
    if (due && !reads_due_.isActive()) reads_due_.start(0);
}

void RequestExecutor::start_reads() {
    bool again = false;
    for (const ControlDevice& d : devices()) {
        if (!d.up || read_since_up_.count(d.index) != 0) continue;
        // A bulk run (the check after a reconnect, a dialog's) holds the device: its turn
        // comes after.
        if (read_device(d, false).first == 409) {
            again = true;
            continue;
        }
        read_since_up_[d.index] = d.entry;
    }
    if (again) reads_due_.start(500);
}

std::pair<int, std::string> RequestExecutor::read_device(const ControlDevice& d, bool titles) {
    const std::string name = "device " + std::to_string(d.index);
    Channel* channel = d.up ? channel_of(d) : nullptr;
    if (channel == nullptr) return {503, name + " is " + (d.status.isEmpty() ? "not connected" : d.status.toStdString())};
    if (channel->send_path().run_under_way()) return {409, "a bulk run holds the link"};
    const std::vector<std::string> bodies = state_read_bodies(titles);
    auto r = std::make_shared<Request>();
    r->source = "device";
    r->peer = QString::number(d.index);
    r->command.kind = titles ? ControlCommand::Kind::title : ControlCommand::Kind::page;
    r->age.start();
    r->results.resize(bodies.size());
    r->open = bodies.size();
    Lane& l = lane(d.index);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        Job job{r, i, d.index, d.address, bodies[i]};
        job.read = true;
        l.waiting.push_back(std::move(job));
    }
    pump(l);
    return {202, titles ? "reading titles" : "reading pages"};
}

void RequestExecutor::pump(Lane& lane) {
    while (!lane.in_flight && !lane.waiting.empty()) {
        Job job = std::move(lane.waiting.front());
        lane.waiting.pop_front();
        const std::vector<ControlDevice> known = devices();
        auto it = std::find_if(known.begin(), known.end(),
                               [&](const ControlDevice& d) { return d.index == lane.device; });
        Channel* channel = it != known.end() && it->up ? channel_of(*it) : nullptr;
        if (channel == nullptr) {
            // Nothing is kept for later: the device is away now.
            std::string why = it != known.end() ? down_reason(*it) : std::string();
            finish(job, 503, "error", why.empty() ? "the device is not connected" : why);
            continue;
        }
        if (channel->send_path().run_under_way()) {
            finish(job, 409, "error", "a bulk run holds the link");
            continue;
        }
        std::string body = job.body;
        if (!job.read) {
            const Operation& op = job.request->command;
            apply_operation(channel->model(), op);
            body = operation_body(op);
        }
        // The send path may tell the end at once (a broadcast, a link that is down).
        job.body = body;
        lane.in_flight = std::move(job);
        lane.box.clear();
        lane.channel = channel;
        lane.holder = channel == static_cast<Channel*>(&link_) ? nullptr : dynamic_cast<QObject*>(channel);
        lane.ended = Subscription(channel->send_path().exchange_ended,
                                  [this, l = &lane](const ExchangeEnd& end) { lane_ended(*l, end); });
        lane.guard.start();
        lane.in_flight->ticket = channel->send_path().next_ticket();
        if (channel->send_path().send_command(body) == 0 && lane.in_flight) {
            Job unsent = std::move(*lane.in_flight);
            let_go(lane);
            finish(unsent, 500, "error", "the command does not fit a frame");
        }
    }
}

void RequestExecutor::let_go(Lane& lane) {
    lane.guard.stop();
    // A peer's channel that has gone took its observer list along.
    if (lane.channel != static_cast<Channel*>(&link_) && lane.holder.isNull()) {
        lane.ended.release();
    } else {
        lane.ended.reset();
    }
    lane.in_flight.reset();
    lane.channel = nullptr;
}

int RequestExecutor::target_device() const {
    int device = 1;
    for (const ControlDevice& d : devices())
        if (d.target) device = d.index;
    return device;
}

void RequestExecutor::lane_ended(Lane& lane, const ExchangeEnd& end) {
    // A dialog's command in between is none of ours, even with the same body.
    if (!lane.in_flight || lane.in_flight->ticket != end.ticket) return;
    Job job = std::move(*lane.in_flight);
    Channel* channel = lane.channel;
    const std::string box = lane.box;
    const bool read = job.read;
    let_go(lane);
    if (end.kind == ExchangeEnd::Kind::answered && answered)
        answered(job.body, read, job.request->source, *channel, lane.device);
    switch (end.kind) {
        case ExchangeEnd::Kind::answered:
            finish(job, 200, "answer", end.answer.empty() ? "GO" : end.answer);
            break;
        case ExchangeEnd::Kind::error_answer:
            finish(job, 502, "error", box.empty() ? end.answer : box, end.answer);
            break;
        case ExchangeEnd::Kind::timeout:
            finish(job, 504, "error", end.answer);
            break;
        case ExchangeEnd::Kind::not_sent:
        case ExchangeEnd::Kind::lost:
            finish(job, 503, "error", end.answer);
            break;
    }
    // A device that does not answer the read of its state would keep every request behind
    // it waiting as long again.
    if (read && end.kind == ExchangeEnd::Kind::timeout) {
        std::deque<Job> waiting = std::exchange(lane.waiting, {});
        for (Job& j : waiting)
            finish(j, 504, "error", j.read ? "not sent" : "the device did not answer the read of its state");
    }
    // Queued: the send path is still inside its own call.
    if (!lane.waiting.empty())
        QMetaObject::invokeMethod(this, [this, l = &lane] { pump(*l); }, Qt::QueuedConnection);
}

void RequestExecutor::finish(Job& job, int status, const std::string& key,
                             const std::string& text, const std::string& answer) {
    Request& r = *job.request;
    if (job.read) {
        // Nobody waits for a read: one line when the last of them has ended.
        r.results[job.slot] = {status, QJsonObject{{qs(key), qs(text)}}};
        if (--r.open > 0) return;
        std::size_t ok = 0;
        std::string first_failure;
        for (const auto& [s, result] : r.results) {
            ok += s == 200;
            if (s != 200 && first_failure.empty()) first_failure = result.value("error").toString().toStdString();
        }
        log_.told(r.source, r.peer,
                  QStringLiteral("%1 read, %2/%3 answered%4")
                      .arg(r.command.kind == ControlCommand::Kind::title ? "titles" : "pages")
                      .arg(ok)
                      .arg(r.results.size())
                      .arg(first_failure.empty() ? QString() : QStringLiteral(" (") + qs(first_failure) + ")"));
        return;
    }
    char ms[48];
    std::snprintf(ms, sizeof ms, " (%.1f ms)", double(r.age.nsecsElapsed()) / 1e6);
    const QString frame = qs(trimmed_frame(job.body));
    const QString device = r.many ? QStringLiteral(" device %1").arg(job.device) : QString();
    log_.told(r.source, r.peer,
              (frame.isEmpty() ? QString::fromLatin1(operation_name(r.command.kind)) : frame) + " " +
                  (status == 200 ? qs(text) : QString::number(status) + " " + qs(text)) + device,
              ms);
    QJsonObject result{{qs(key), qs(text)}};
    if (!answer.empty()) result["answer"] = qs(answer);
    if (r.many) {
        result["device"] = job.device;
        result["address"] = job.address;
    }
    r.results[job.slot] = {status, result};
    if (--r.open > 0 || !r.reply) return;
    if (!r.many) {
        result["request"] = qint64(r.number);
        r.reply(status, result);
        return;
    }
    // One result per device, in the order named; 200 only when every device took it.
    QJsonArray results;
    bool all_ok = true;
    for (std::size_t i = 0; i < r.results.size(); ++i) {
        QJsonObject one = r.results[i].second;
        all_ok = all_ok && r.results[i].first == 200;
        one["status"] = r.results[i].first;
        results.append(one);
    }
    r.reply(all_ok ? 200 : 502, {{"results", results}, {"request", qint64(r.number)}});
}

}  // namespace tqv
