// The cue routes of show control: GO, back, go to and load on the cue list, whatever
// carried them (HTTP, a WebSocket, OSC, RossTalk), and the list's position and runs shown
// as the state paths "cue/…".
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include "control/executor.h"

namespace tqv {

class ControlState;
class CueShow;
class DeviceLink;
class LimitedLog;

class CueRoutes : public QObject {
    Q_OBJECT
  public:
    using Reply = RequestExecutor::Reply;

    CueRoutes(DeviceLink& link, RequestExecutor& executor, ControlState& state,
              const ControlLog& log);

    // The cue list the routes fire; without one they answer 404.
    void set_cues(CueShow* cues);
    CueShow* cues() const { return cues_; }

    // `op` "go", "back", "goto" (body "cue": a number from 1 or a name), "load" (body
    // "csv"). A request that cannot be answered (no `reply`) has its refusals logged in
    // `unanswered`, rate-limited: such requests may come in a flood.
    void request(const QString& op, const QJsonObject& body, const QString& source,
                 const QString& peer, Reply reply, LimitedLog* unanswered = nullptr);
    // GET /api/cues.
    QByteArray cues_json() const;

  private:
    void position_changed();

    DeviceLink& link_;
    RequestExecutor& executor_;
    ControlState& state_;
    const ControlLog& log_;
    CueShow* cues_ = nullptr;
    int cue_runs_ = 0;
    int cue_loads_ = 0;
};

}  // namespace tqv
