// What panels are shown of the devices and the link, published as ControlState paths: what
// the devices confirmed (a page or a title changes when its command was answered, or when
// the device answered a read), the link's status and its devices, the runs. The JSON of the
// read-only routes (status, devices, titles) is made from the same.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

#include "core/observers.h"

namespace tqv {

class Channel;
class ControlState;
class CueShow;
class DeviceLink;
class RequestExecutor;
struct FleetDevice;
struct ExchangeEnd;
struct Touched;

class StateFeed : public QObject {
    Q_OBJECT
  public:
    StateFeed(DeviceLink& link, ControlState& state, RequestExecutor& executor);

    // Whose runs are the cues' (their state changes are told as the cue's, on every device).
    void set_cues(CueShow* cues);
    // The devices came or went: their devices/N/up, /status, /address and /port follow, and
    // so does the link's status in the server role ("link/devices" "3/4", "link/down").
    void devices_changed();

    // The JSON of GET /api/status, GET /api/devices and GET /api/titles.
    QByteArray status_json(bool locked) const;
    QByteArray devices_json() const;
    QByteArray titles_json() const;

  private:
    // A command answered on a device's channel: what it set, or what a read found, is the
    // device's now.
    void answered(const std::string& body, bool read, const QString& source, Channel& channel,
                  int device);
    // `changes` (lines/… paths) hold on `device`: as they are for the link's own device, and
    // under devices/N/ in the server role.
    void announce(const QJsonObject& changes, const QString& source, Channel& channel, int device);
    void link_exchange_ended(const ExchangeEnd& end);
    // An answer line wrote a value into the link's model.
    void model_answered(const Touched& touched);
    void link_changed();
    // What the link's status says in the server role, from the devices.
    QJsonObject device_summary(const std::vector<FleetDevice>& list) const;
    // Who ran what the link's run got the device to hold: a cue, or a dialog.
    QString run_source() const;

    DeviceLink& link_;
    ControlState& state_;
    RequestExecutor& executor_;
    const CueShow* cues_ = nullptr;
    Subscription run_news_;
    Subscription answer_touched_;
    Subscription cue_answers_;  // a cue's frames answered on other devices than the link's
    std::vector<int> devices_shown_;  // the numbers with devices/N paths
    std::string last_exchange_;       // JSON object text; empty before the first
};

}  // namespace tqv
