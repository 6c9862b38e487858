// What panels are shown, as flat and stable paths ("lines/1T/page", "link/status", …) with
// JSON values. Every change is counted (seq, no gaps) and announced once with its source,
// to any number of observers; setting a path to the value it holds announces nothing.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>

namespace tqv {

class ControlState : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Sets every path of `changes`; one `changed` with those that differed, if any.
    void apply(const QString& source, const QJsonObject& changes);
    const QJsonObject& state() const { return state_; }
    QJsonValue value(const QString& path) const { return state_.value(path); }
    quint64 seq() const { return seq_; }

  signals:
    void changed(quint64 seq, const QString& source, const QJsonObject& changes);

  private:
    QJsonObject state_;
    quint64 seq_ = 0;
};

}  // namespace tqv
