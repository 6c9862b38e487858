#include "link/fleet.h"

#include <algorithm>

#include "link/device_link.h"
#include "link/peer_roster.h"

namespace tqv {

QString status_name(FleetDevice::Status status) {
    switch (status) {
        case FleetDevice::Status::up:
            return QStringLiteral("up");
        case FleetDevice::Status::connecting:
            return QStringLiteral("connecting");
        case FleetDevice::Status::lost:
            return QStringLiteral("lost");
        case FleetDevice::Status::absent:
            break;
    }
    return QStringLiteral("absent");
}

// One device's single commands.
struct Fleet::Lane {
    int number = 1;
    std::deque<LaneJob> waiting;
    std::optional<LaneJob> in_flight;
    Ticket ticket = 0;           // the send path's id of the one in flight
    Channel* channel = nullptr;  // where the one in flight went
    QPointer<QObject> holder;    // the channel's object, when it is a peer's
    Subscription ended;
    QTimer guard;
    bool pumping = false;
};

Fleet::Fleet(DeviceLink& link, QObject* parent) : QObject(parent), link_(link) {
    connect(&link_.peers(), &PeerSet::channel_removed, this, &Fleet::device_gone);
    // Numbered by address, the roster tells the changes, once it has looked.
    auto peers_changed = [this] {
        if (!roster_) emit changed();
    };
    connect(&link_.peers(), &PeerSet::channel_removed, this, peers_changed);
    connect(&link_.peers(), &PeerSet::channel_added, this, peers_changed);
}

Fleet::~Fleet() {
    // Quietly: whoever waits for a job goes with us. A peer's channel that has gone took
    // its observer list along.
    for (auto& [number, l] : lanes_) {
        if (l->in_flight) let_go(*l);
    }
}

void Fleet::number_by_address(int count) {
    roster_ = std::make_unique<PeerRoster>(link_.tcp(), link_.model(), count);
    connect(roster_.get(), &PeerRoster::said, this, &Fleet::said);
    connect(roster_.get(), &PeerRoster::changed, this, &Fleet::changed);
}

std::vector<FleetDevice> Fleet::devices() const {
    using Status = FleetDevice::Status;
    const Model& m = link_.model();
    TcpLink& tcp = link_.tcp();
    std::vector<FleetDevice> out;
    if (roster_) {
        for (int number = 1; number <= int(roster_->devices().size()); ++number)
            out.push_back(numbered(number));
        return out;
    }
    if (server_role()) {
        for (int entry : link_.peers().entries()) out.push_back(peer(entry));
        return out;
    }
    FleetDevice own;
    if (m.interface_kind == 0) {
        own.address = link_.serial().last_path();
        const DeviceLink::SerialState s = link_.serial_state();
        own.status = s == DeviceLink::SerialState::open   ? Status::up
                     : s == DeviceLink::SerialState::lost ? Status::lost
                                                          : Status::absent;
    } else {
        own.address = QString::fromStdString(tcp.peer_address(0));
        own.port = tcp.peer_port(0);
        own.status = link_.reachable()        ? Status::up
                     : link_.tcp_connecting() ? Status::connecting
                     : link_.tcp_lost()       ? Status::lost
                                              : Status::absent;
    }
    own.target = true;
    out.push_back(own);
    return out;
}

std::vector<FleetDevice> Fleet::connected() const {
    std::vector<FleetDevice> out = devices();
    std::erase_if(out, [](const FleetDevice& d) { return !d.up(); });
    return out;
}

FleetDevice Fleet::numbered(int number) const {
    const PeerRoster::Device& d = roster_->devices()[std::size_t(number - 1)];
    const bool up = roster_->up(d);
    using Status = FleetDevice::Status;
    return {number, up ? d.entry : 0, d.address, d.port,
            up                    ? Status::up
            : d.address.isEmpty() ? Status::absent
                                  : Status::lost,
            number == 1};
}

FleetDevice Fleet::peer(int entry) const {
    TcpLink& tcp = link_.tcp();
    return {entry, entry, QString::fromStdString(tcp.peer_address(entry)), tcp.peer_port(entry),
            FleetDevice::Status::up, entry == link_.model().selected_peer};
}

// One device without making the whole list: a request's every turn on a lane asks, and
// with many devices the list would be made once per device per request.
std::optional<FleetDevice> Fleet::device(int number) const {
    if (roster_) {
        if (number < 1 || number > int(roster_->devices().size())) return std::nullopt;
        return numbered(number);
    }
    if (server_role()) {
        if (link_.peers().channel(number) == nullptr) return std::nullopt;
        return peer(number);
    }
    for (const FleetDevice& d : devices())
        if (d.number == number) return d;
    return std::nullopt;
}

Channel* Fleet::channel(const FleetDevice& device) {
    if (device.entry > 0) return link_.channel_of_peer(device.entry);
    return server_role() ? nullptr : &link_;
}

std::string Fleet::down_reason(int number) const {
    const std::optional<FleetDevice> d = device(number);
    if (!d) return "no device " + std::to_string(number);
    switch (d->status) {
        case FleetDevice::Status::up:
            return {};
        case FleetDevice::Status::connecting:
            return "the link is down; connecting again";
        case FleetDevice::Status::absent:
            if (d->entry == 0 && numbered_by_address())
                return "device " + std::to_string(number) + " is absent";
            break;
        case FleetDevice::Status::lost:
            break;
    }
    return "the device is not connected";
}

// ---- Lanes

Fleet::Lane& Fleet::lane(int number) {
    std::unique_ptr<Lane>& l = lanes_[number];
    if (!l) {
        l = std::make_unique<Lane>();
        l->number = number;
        l->guard.setSingleShot(true);
        connect(&l->guard, &QTimer::timeout, this, [this, lane = l.get()] {
            if (!lane->in_flight) return;
            Channel* channel = lane->channel;
            const Ticket ticket = lane->ticket;
            LaneJob job = let_go(*lane);
            job.done({LaneEnd::Kind::guard, "no end of the exchange was told in time", {}, channel, ticket});
            pump(*lane);
        });
    }
    return *l;
}

Channel* Fleet::locate(int number, std::string* why) {
    if (locate_) return locate_(number, why);
    const std::optional<FleetDevice> d = device(number);
    Channel* c = d && d->up() ? channel(*d) : nullptr;
    if (c == nullptr) *why = down_reason(number);
    return c;
}

Fleet::Submitted Fleet::submit(int number, LaneJob job) {
    Lane& l = lane(number);
    std::string why;
    if (Channel* c = locate(number, &why); c != nullptr && c->send_path().run_under_way())
        return Submitted::busy;
    const auto behind =
        std::find_if(l.waiting.begin(), l.waiting.end(), [](const LaneJob& j) { return j.behind; });
    if (job.behind) {
        l.waiting.push_back(std::move(job));
    } else if (behind - l.waiting.begin() >= kMaxWaiting) {
        return Submitted::full;
    } else {
        l.waiting.insert(behind, std::move(job));
    }
    pump(l);
    return Submitted::queued;
}

bool Fleet::server_role() const {
    const Model& m = link_.model();
    return m.interface_kind == 1 && m.tcp_role == 1;
}

void Fleet::clear_lane(int number, const std::string& why) {
    auto it = lanes_.find(number);
    if (it != lanes_.end()) drop_waiting(*it->second, LaneEnd::Kind::dropped, why);
}

void Fleet::drop_waiting(Lane& lane, LaneEnd::Kind kind, const std::string& why) {
    // Each ends once, even if one of them submits again meanwhile.
    std::deque<LaneJob> waiting = std::exchange(lane.waiting, {});
    for (LaneJob& job : waiting) job.done({kind, why, {}, nullptr});
}

std::size_t Fleet::waiting(int number) const {
    auto it = lanes_.find(number);
    return it == lanes_.end() ? 0 : it->second->waiting.size();
}

Ticket Fleet::in_flight_on(const Channel& channel) const {
    for (const auto& [number, l] : lanes_)
        if (l->in_flight && l->channel == &channel) return l->ticket;
    return 0;
}

void Fleet::pump(Lane& lane) {
    // A job's end may submit the next one: the loop below takes it.
    if (lane.pumping) return;
    lane.pumping = true;
    while (!lane.in_flight && !lane.waiting.empty()) {
        LaneJob job = std::move(lane.waiting.front());
        lane.waiting.pop_front();
        std::string why;
        Channel* channel = locate(lane.number, &why);
        if (channel == nullptr) {
            // Nothing is kept for later: the device is away now.
            job.done({LaneEnd::Kind::away,
                      why.empty() ? "the device is not connected" : why,
                      {},
                      nullptr});
            continue;
        }
        SendPath& path = channel->send_path();
        if (path.run_under_way()) {
            job.done({LaneEnd::Kind::busy, "a bulk run holds the link", {}, nullptr});
            continue;
        }
        // The send path may tell the end before send_command returns (a broadcast, a link
        // that is down): the lane listens, and knows the ticket, first.
        auto send = std::move(job.send);
        lane.in_flight = std::move(job);
        lane.channel = channel;
        lane.holder =
            channel == static_cast<Channel*>(&link_) ? nullptr : dynamic_cast<QObject*>(channel);
        lane.ended = Subscription(path.exchange_ended, [this, l = &lane](const ExchangeEnd& end) {
            exchange_ended(*l, end);
        });
        lane.ticket = path.next_ticket();
        lane.guard.start(guard_ms_);
        if (send(*channel) == 0 && lane.in_flight) {
            LaneJob unsent = let_go(lane);
            unsent.done({LaneEnd::Kind::unframed, "the command does not fit a frame", {}, nullptr});
        }
    }
    lane.pumping = false;
}

LaneJob Fleet::let_go(Lane& lane) {
    lane.guard.stop();
    if (lane.channel != static_cast<Channel*>(&link_) && lane.holder.isNull()) {
        lane.ended.release();
    } else {
        lane.ended.reset();
    }
    LaneJob job = std::move(*lane.in_flight);
    lane.in_flight.reset();
    lane.channel = nullptr;
    lane.ticket = 0;
    return job;
}

void Fleet::exchange_ended(Lane& lane, const ExchangeEnd& end) {
    // Somebody else's command in between is none of ours, even with the same body.
    if (!lane.in_flight || lane.ticket != end.ticket) return;
    Channel* channel = lane.channel;
    const Ticket ticket = lane.ticket;
    LaneJob job = let_go(lane);
    static_assert(int(ExchangeEnd::Kind::lost) == 4);
    static constexpr LaneEnd::Kind kinds[] = {LaneEnd::Kind::answered, LaneEnd::Kind::error_answer,
                                              LaneEnd::Kind::timeout, LaneEnd::Kind::not_sent,
                                              LaneEnd::Kind::lost};
    job.done({kinds[int(end.kind)], end.answer, end.frame, channel, ticket});
    if (end.kind == ExchangeEnd::Kind::lost) {
        // The device went: what waits for it ends now, with the link's reason.
        drop_waiting(lane, LaneEnd::Kind::away, end.answer);
    }
    // Queued: the send path is still inside its own call.
    if (!lane.waiting.empty())
        QMetaObject::invokeMethod(
            this, [this, l = &lane] { pump(*l); }, Qt::QueuedConnection);
}

}  // namespace tqv
