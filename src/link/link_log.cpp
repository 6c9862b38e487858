#include "link/link_log.h"

namespace tqv {

Q_LOGGING_CATEGORY(lc_link, "tqv.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lc_link_bytes, "tqv.link.bytes", QtWarningMsg)

}  // namespace tqv
