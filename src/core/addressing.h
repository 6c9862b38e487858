// Whether a command carries the slave address in front of its body. It is decided by what
// the command is, never by which window was opened before: every command is addressed,
// except the two that speak to whichever single device is on the serial line (giving it a
// slave address, and its own network values), which go out bare. On TCP every command is
// addressed; the bare ones never go there.
#pragma once

namespace tqv {

enum class Addressing {
    addressed,  // "00".."31" or "FF" in front; the answer's first two characters dropped
    bare,       // the body alone; the answer taken whole
};

}  // namespace tqv
