#include "control/state.h"

namespace tqv {

void ControlState::apply(const QString& source, const QJsonObject& changes) {
    QJsonObject differ;
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (state_.contains(it.key()) && state_.value(it.key()) == it.value()) continue;
        state_[it.key()] = it.value();
        differ[it.key()] = it.value();
    }
    if (differ.isEmpty()) return;
    emit changed(++seq_, source, differ);
}

}  // namespace tqv
