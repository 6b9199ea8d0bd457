// norvex-rom on a pseudo-terminal, as a user types at it: lines typed, each
// answered before the next.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/pty_session.h"

namespace norvex::forth {

struct RomTerminal {
    testing::PtySession s;
    explicit RomTerminal(const std::vector<std::string>& args = {}, unsigned short cols = 80)
        : s(NORVEX_ROM_BIN, args, {}, cols) {
        EXPECT_TRUE(s.wait_for("Norvex Forth 1.0\r\n")) << s.output();
    }
    // Types the keys and Enter; true once the answer has come.
    bool line(const std::string& keys, const std::string& answer) {
        s.send(keys + "\r");
        return s.wait_for(answer);
    }
    // Ctrl-D on an empty line; the exit status.
    int leave() {
        s.send("\x04");
        return s.wait_exit();
    }
};

}  // namespace norvex::forth
