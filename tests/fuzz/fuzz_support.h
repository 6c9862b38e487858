// What every harness shares: a Ui that shows nothing and answers from the input, and a
// check that turns a broken property into a finding.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/ui.h"

namespace tqv::fuzz {

class QuietUi : public Ui {
public:
    void box(Box, std::string_view, std::string_view) override { ++boxes; }
    bool ask(std::string_view, std::string_view) override { return (++questions & 1) != 0; }
    int boxes = 0;
    int questions = 0;
};

inline void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

inline bool is_upper_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

}  // namespace tqv::fuzz
