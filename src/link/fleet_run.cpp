#include "link/fleet_run.h"

#include <algorithm>

#include "core/texts.h"
#include "link/device_link.h"
#include "link/run_driver.h"

namespace tqv {

void FleetPart::report_step(int step, int total) {
    if (on_step_) on_step_(step, total);
}

void FleetPart::report_end(bool ok, const QString& text, std::optional<int> step) {
    if (on_end_) on_end_(ok, text, step);
}

DriverPart::DriverPart(Channel& channel, std::unique_ptr<RunSteps> steps, bool answer_paced)
    : channel_(channel), steps_(std::move(steps)), answer_paced_(answer_paced) {}

DriverPart::~DriverPart() {
    // Quietly: the fleet run has stopped listening.
    if (driver_) driver_->disconnect();
}

void DriverPart::start() {
    driver_ = std::make_unique<RunDriver>(channel_);
    QObject::connect(driver_.get(), &RunDriver::stepped, driver_.get(),
                     [this](int step, int total, int) { report_step(step, total); });
    QObject::connect(driver_.get(), &RunDriver::ended, driver_.get(),
                     [this](RunEnd why, const QString& closing) {
                         const Run* run = driver_->run();
                         const bool ok = why == RunEnd::completed;
                         // The run's message, on one line: where it stopped and why.
                         QString text = closing;
                         text.replace(QLatin1Char('\n'), QLatin1Char(' '));
                         std::optional<int> step;
                         if (run != nullptr) step = ok ? run->total() : run->end_step();
                         report_end(ok, text, step);
                     });
    report_step(0, steps_->total());
    if (!driver_->start(std::move(steps_), answer_paced_, true)) {
        auto* peer = dynamic_cast<PeerChannel*>(&channel_);
        report_end(false, peer != nullptr ? QString::fromStdString(peer->last_message())
                                          : QString::fromUtf8(text::kSocketNotConnected));
    }
}

void DriverPart::stop() {
    if (driver_) driver_->stop();
}

std::optional<int> DriverPart::remaining_ms() const {
    if (!driver_ || !driver_->running()) return 0;
    return driver_->remaining_ms();
}

struct FleetRun::Slot {
    std::unique_ptr<FleetPart> part;
    bool on_peer = false;  // on a peer's channel, which goes with its device
};

FleetRun::FleetRun(Fleet& fleet, Texts texts, QObject* parent)
    : QObject(parent), fleet_(fleet), texts_(std::move(texts)) {
    connect(&fleet_, &Fleet::device_gone, this, &FleetRun::device_gone);
}

FleetRun::~FleetRun() {
    // Quietly: whoever shows the run is going away with it.
    for (Slot& s : slots_) {
        if (s.part) s.part->on_step_ = nullptr, s.part->on_end_ = nullptr;
    }
}

void FleetRun::set_devices(const std::vector<FleetDevice>& devices) {
    if (running_) return;
    slots_.clear();
    members_.clear();
    for (const FleetDevice& d : devices)
        members_.push_back({d.number, d.entry, d.address, 0, 0, texts_.running, false, false});
    slots_.resize(members_.size());
    emit reset();
}

bool FleetRun::start(const Factory& factory) {
    if (running_ || members_.empty()) return false;
    running_ = true;
    for (std::size_t i = 0; i < members_.size(); ++i) {
        const Member& m = members_[i];
        FleetDevice device;
        device.number = m.number;
        device.entry = m.entry;
        device.status = FleetDevice::Status::up;
        Channel* channel = fleet_.channel(device);
        if (channel == nullptr) continue;
        Slot& s = slots_[i];
        s.part = factory(m, *channel);
        if (!s.part) continue;
        s.on_peer = channel != static_cast<Channel*>(&fleet_.link());
        s.part->on_step_ = [this, i](int step, int total) {
            Member& r = members_[i];
            if (r.done) return;
            r.step = step;
            r.total = total;
            emit changed(int(i));
        };
        s.part->on_end_ = [this, i](bool ok, const QString& text, std::optional<int> step) {
            ended(i, ok, text, step);
        };
    }
    // Every part exists before the first begins: one that ends at once finds its
    // neighbours' rows in place.
    for (std::size_t i = 0; i < members_.size(); ++i) {
        if (slots_[i].part) {
            slots_[i].part->start();
        } else {
            ended(i, false, QString::fromUtf8(text::kSocketNotConnected), std::nullopt);
        }
    }
    return true;
}

void FleetRun::stop() {
    for (Slot& s : slots_)
        if (s.part) s.part->stop();
}

int FleetRun::steps_out() const {
    int n = 0;
    for (const Member& m : members_) n += m.step;
    return n;
}

int FleetRun::steps_total() const {
    int n = 0;
    for (const Member& m : members_) n += m.total;
    return n;
}

std::optional<int> FleetRun::remaining_ms() const {
    int slowest = 0;
    for (std::size_t i = 0; i < members_.size(); ++i) {
        if (members_[i].done || !slots_[i].part) continue;
        const std::optional<int> ms = slots_[i].part->remaining_ms();
        if (!ms) return std::nullopt;
        slowest = std::max(slowest, *ms);
    }
    return slowest;
}

void FleetRun::ended(std::size_t index, bool ok, const QString& text, std::optional<int> step) {
    Member& m = members_[index];
    if (m.done) return;
    m.done = true;
    m.ok = ok;
    if (step) m.step = *step;
    m.outcome = ok ? texts_.completed : text;
    emit changed(int(index));
    emit member_ended(int(index));
    int completed = 0;
    int failed = 0;
    for (const Member& r : members_) {
        if (!r.done) return;
        (r.ok ? completed : failed) += 1;
    }
    if (!running_) return;
    running_ = false;
    emit finished(completed, failed);
}

void FleetRun::device_gone(int entry) {
    // Nothing of a part may outlive the channel it ran on; its run has ended with the
    // link's message already, or ends here.
    for (std::size_t i = 0; i < members_.size(); ++i) {
        Slot& s = slots_[i];
        if (members_[i].entry != entry || !s.on_peer || !s.part) continue;
        std::unique_ptr<FleetPart> part = std::move(s.part);
        part->on_step_ = nullptr;
        part->on_end_ = nullptr;
        part.reset();
        ended(i, false, QString::fromUtf8(text::kSocketNotConnected), std::nullopt);
    }
}

}  // namespace tqv
