// The small pieces every part of show control writes its answers and state with.
#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <string>

namespace tqv {

inline QString qs(const std::string& text) { return QString::fromStdString(text); }

inline QByteArray compact(const QJsonObject& json) {
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

inline QJsonObject error_object(const QString& text) { return {{"error", text}}; }

// A frame as logs and answers show it: without its line end.
inline std::string trimmed_frame(std::string frame) {
    while (!frame.empty() && (frame.back() == '\n' || frame.back() == '\r')) frame.pop_back();
    return frame;
}

}  // namespace tqv
