// Logging of the link layer, all off by default. "tqv.link" carries state changes (port
// opened, peer accepted, connection lost), "tqv.link.bytes" every byte sent and received;
// switch them on with e.g. QT_LOGGING_RULES="tqv.link.*.info=true;tqv.link.bytes.debug=true".
#pragma once

#include <QLoggingCategory>

namespace tqv {

Q_DECLARE_LOGGING_CATEGORY(lc_link)
Q_DECLARE_LOGGING_CATEGORY(lc_link_bytes)

}  // namespace tqv
