// Logging of the link layer. "tqv.link" carries state changes (port opened, peer accepted,
// connection lost); "tqv.link.bytes" traces every byte sent and received and is off unless
// switched on, e.g. QT_LOGGING_RULES="tqv.link.bytes.debug=true".
#pragma once

#include <QLoggingCategory>

namespace tqv {

Q_DECLARE_LOGGING_CATEGORY(lc_link)
Q_DECLARE_LOGGING_CATEGORY(lc_link_bytes)

}  // namespace tqv
