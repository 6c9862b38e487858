#include "control/executor.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <algorithm>
#include <cstdio>

#include "control/json.h"
#include "core/bulk.h"
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
};

RequestExecutor::RequestExecutor(DeviceLink& link, const ControlLog& log)
    : link_(link), fleet_(link.fleet()), log_(log) {
    // A device that came up is read once the signal that said so has returned.
    reads_due_.setSingleShot(true);
    connect(&reads_due_, &QTimer::timeout, this, &RequestExecutor::start_reads);
}

// The jobs still on the lanes find us gone (see queue).
RequestExecutor::~RequestExecutor() = default;

bool RequestExecutor::command_in_flight() const { return fleet_.in_flight_on(link_) != 0; }

bool RequestExecutor::carries(Ticket ticket) const {
    return ticket != 0 && fleet_.in_flight_on(link_) == ticket;
}

void RequestExecutor::box_shown(std::string_view text) {
    if (const Ticket t = fleet_.in_flight_on(link_); t != 0) box_ = {t, std::string(text)};
}

// Every route's request ends here, whatever carried it.
void RequestExecutor::submit(ControlCommand::Kind kind, ParsedCommand parsed, const QString& source,
                             const QString& peer, Reply reply) {
    auto refuse = [&](int status, const QString& text) {
        log_.told(source, peer, QStringLiteral("%1: %2 %3").arg(operation_name(kind)).arg(status).arg(text));
        if (reply) reply(status, error_object(text));
    };
    if (!parsed.command) return refuse(400, qs(parsed.error));
    const std::vector<FleetDevice> targets = targets_of(parsed.device);
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
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const FleetDevice& d = targets[i];
        auto job = std::make_shared<Job>(Job{r, i, d.number, d.address, {}});
        if (d.entry == kNoDevice) {
            finish(*job, 404, "error", "no device " + std::to_string(d.number));
            continue;
        }
        switch (queue(job)) {
            case Fleet::Submitted::queued:
                break;
            case Fleet::Submitted::full:
                finish(*job, 503, "error", "too many requests waiting");
                break;
            case Fleet::Submitted::busy:
                finish(*job, 409, "error", "a bulk run holds the link");
                break;
        }
    }
}

Fleet::Submitted RequestExecutor::queue(const std::shared_ptr<Job>& job) {
    // The lanes are the link's and may outlive us: a job that finds us gone sends nothing
    // and tells nobody.
    LaneJob lane_job;
    lane_job.behind = job->read;
    lane_job.send = [self = QPointer(this), job](Channel& channel) -> Ticket {
        if (self.isNull()) return 0;
        if (!job->read) {
            const Operation& op = job->request->command;
            apply_operation(channel.model(), op);
            job->body = operation_body(op);
        }
        return channel.send_path().send_command(job->body);
    };
    lane_job.done = [self = QPointer(this), job](const LaneEnd& end) {
        if (!self.isNull()) self->ended(*job, end);
    };
    ++waiting_;
    const Fleet::Submitted taken = fleet_.submit(job->device, std::move(lane_job));
    if (taken != Fleet::Submitted::queued) --waiting_;
    return taken;
}

void RequestExecutor::ended(Job& job, const LaneEnd& end) {
    --waiting_;
    using Kind = LaneEnd::Kind;
    if (end.kind == Kind::answered && answered && end.channel != nullptr)
        answered(job.body, job.read, job.request->source, *end.channel, job.device);
    std::string box;
    if (end.channel == static_cast<Channel*>(&link_) && box_.first == end.ticket)
        box = std::exchange(box_, {}).second;
    switch (end.kind) {
        case Kind::answered:
            finish(job, 200, "answer", end.text.empty() ? "GO" : end.text);
            break;
        case Kind::error_answer:
            finish(job, 502, "error", box.empty() ? end.text : box, end.text);
            break;
        case Kind::timeout:
        case Kind::guard:
            finish(job, 504, "error", end.text);
            break;
        case Kind::not_sent:
        case Kind::lost:
        case Kind::away:
            finish(job, 503, "error", end.text);
            break;
        case Kind::busy:
            finish(job, 409, "error", end.text);
            break;
        case Kind::unframed:
            finish(job, 500, "error", end.text);
            break;
        case Kind::dropped:
            finish(job, 504, "error", job.read ? "not sent" : end.text);
            break;
    }
    // A device that does not answer the read of its state would keep every request behind
    // it waiting as long again.
    if (job.read && end.kind == Kind::timeout)
        fleet_.clear_lane(job.device, "the device did not answer the read of its state");
}

// The devices a request is meant for: those named (entry kNoDevice for a number no device
// has), or the default target.
std::vector<FleetDevice> RequestExecutor::targets_of(const DeviceChoice& choice) const {
    const std::vector<FleetDevice> known = fleet_.devices();
    std::vector<FleetDevice> targets;
    if (choice.all) {
        targets = known;
    } else if (!choice.given) {
        for (const FleetDevice& d : known)
            if (d.target) targets.push_back(d);
    } else {
        for (int number : choice.indexes) {
            auto it = std::find_if(known.begin(), known.end(),
                                   [number](const FleetDevice& d) { return d.number == number; });
            FleetDevice unknown;
            unknown.number = number;
            unknown.entry = kNoDevice;
            targets.push_back(it != known.end() ? *it : unknown);
        }
    }
    return targets;
}

bool RequestExecutor::server_role() const { return fleet_.server_role(); }

bool RequestExecutor::program_peers() const {
    return server_role() && !fleet_.numbered_by_address();
}

int RequestExecutor::target_device() const {
    int device = 1;
    for (const FleetDevice& d : fleet_.devices())
        if (d.target) device = d.number;
    return device;
}

void RequestExecutor::devices_changed(const std::vector<FleetDevice>& list) {
    // A device that went away is read again when it comes back.
    bool due = false;
    for (const FleetDevice& d : list) {
        auto it = read_since_up_.find(d.number);
        // Away, or back on another entry in between.
        const bool read = it != read_since_up_.end() && d.up() && it->second == d.entry;
        if (!read && it != read_since_up_.end()) read_since_up_.erase(it);
        due = due || (d.up() && !read);
    }
    std::erase_if(read_since_up_, [&](const auto& r) {
        return std::none_of(list.begin(), list.end(), [&](const FleetDevice& d) { return d.number == r.first; });
    });
    // Once the signal that said so has returned.
    if (due && !reads_due_.isActive()) reads_due_.start(0);
}

void RequestExecutor::start_reads() {
    bool again = false;
    for (const FleetDevice& d : fleet_.devices()) {
        if (!d.up() || read_since_up_.count(d.number) != 0) continue;
        // A bulk run (the check after a reconnect, a dialog's) holds the device: its turn
        // comes after.
        if (read_device(d, false).first == 409) {
            again = true;
            continue;
        }
        read_since_up_[d.number] = d.entry;
    }
    if (again) reads_due_.start(500);
}

std::pair<int, std::string> RequestExecutor::read_device(const FleetDevice& d, bool titles) {
    const std::string name = "device " + std::to_string(d.number);
    if (d.entry == kNoDevice) return {404, "no " + name};
    Channel* channel = d.up() ? fleet_.channel(d) : nullptr;
    if (channel == nullptr) return {503, name + " is " + status_name(d.status).toStdString()};
    if (channel->send_path().run_under_way()) return {409, "a bulk run holds the link"};
    const std::vector<std::string> bodies = state_read_bodies(titles);
    auto r = std::make_shared<Request>();
    r->source = "device";
    r->peer = QString::number(d.number);
    r->command.kind = titles ? ControlCommand::Kind::title : ControlCommand::Kind::page;
    r->age.start();
    r->results.resize(bodies.size());
    r->open = bodies.size();
    // Behind every request waiting, and never refused for their number.
    for (std::size_t i = 0; i < bodies.size(); ++i)
        queue(std::make_shared<Job>(Job{r, i, d.number, d.address, bodies[i], true}));
    return {202, titles ? "reading titles" : "reading pages"};
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
