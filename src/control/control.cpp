#include "control/control.h"

#include "control/cue_routes.h"
#include "control/http_control.h"
#include "control/osc_control.h"
#include "control/picture_json.h"
#include "control/rosstalk_control.h"
#include "control/state_feed.h"
#include "core/config.h"

namespace tqv {

Control::Control(DeviceLink& link, QObject* parent)
    : QObject(parent),
      log_(log, [this](const QString& who, const QString& what) { emit remote(who, what); }),
      gate_(log_),
      executor_(link, log_),
      feed_(std::make_unique<StateFeed>(link, state_, executor_)),
      cues_(std::make_unique<CueRoutes>(link, executor_, state_, log_)),
      http_(std::make_unique<HttpControl>(gate_, executor_, *feed_, *cues_, state_, log_)),
      osc_(std::make_unique<OscControl>(gate_, executor_, *cues_, log_)),
      rosstalk_(std::make_unique<RossTalkControl>(gate_, *cues_, log_)) {}

Control::~Control() = default;

bool Control::start(const ControlSettings& settings, std::string* error) {
    QHostAddress address;
    const bool taken = gate_.start(settings, &address, error);
    state_.apply("dialog", {{"remote/locked", settings.locked}});
    if (!taken) return false;
    if (settings.http_port >= 0 && !http_->open(address, settings.http_port, settings.bind, error))
        return false;
    if (settings.osc_port >= 0 &&
        !osc_->open(gate_.tokenless_address(address, "OSC"), settings.osc_port, settings.bind, error))
        return false;
    if (settings.rosstalk_port >= 0 &&
        !rosstalk_->open(gate_.tokenless_address(address, "RossTalk"), settings.rosstalk_port,
                         settings.bind, error))
        return false;
    return true;
}

int Control::http_port() const { return http_->port(); }
int Control::osc_port() const { return osc_->port(); }
int Control::rosstalk_port() const { return rosstalk_->port(); }

void Control::set_cues(CueShow* cues) {
    feed_->set_cues(cues);
    cues_->set_cues(cues);
}

void Control::set_locked(bool locked) {
    gate_.set_locked(locked);
    state_.apply("dialog", {{"remote/locked", locked}});
}

void Control::devices_changed() { feed_->devices_changed(); }

QByteArray Control::status_json() const { return feed_->status_json(gate_.locked()); }
QByteArray Control::devices_json() const { return feed_->devices_json(); }
QByteArray Control::titles_json() const { return feed_->titles_json(); }
QByteArray Control::openapi_json() { return openapi_document(); }

QByteArray Control::picture_json(std::string_view query, int* status) {
    return picture_answer(executor_.fleet(), query, status);
}

void Control::box_shown(std::string_view text) {
    executor_.box_shown(text);
    log_.say("control: " + std::string(text));
}

void ControlUi::box(Box kind, std::string_view text, std::string_view caption) {
    if (control.isNull() || !control->command_in_flight()) {
        inner_.box(kind, text, caption);
        return;
    }
    control->box_shown(text);
}

std::vector<std::string> split_addresses(const std::string& list) {
    std::vector<std::string> out;
    std::string word;
    for (char c : list + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return out;
}

std::unique_ptr<Control> start_control(DeviceLink& link, const ControlConfig& config,
                                       std::string* error) {
    if (config.http_port == 0 && config.osc_port == 0 && config.rosstalk_port == 0) return nullptr;
    ControlSettings settings;
    settings.http_port = config.http_port != 0 ? config.http_port : -1;
    settings.osc_port = config.osc_port != 0 ? config.osc_port : -1;
    settings.rosstalk_port = config.rosstalk_port != 0 ? config.rosstalk_port : -1;
    settings.bind = config.bind;
    settings.token = config.token;
    settings.allow = split_addresses(config.allow);
    settings.hosts = split_addresses(config.hosts);
    settings.origins = split_addresses(config.origins);
    settings.locked = config.lock;
    auto control = std::make_unique<Control>(link);
    if (!control->start(settings, error)) return nullptr;
    return control;
}

}  // namespace tqv
