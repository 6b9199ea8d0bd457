// norvex-rom recompiling and running words at the same place hundreds of
// thousands of times in one process, as a long session or a test runner
// does: every round makes new code where the last round's was, so the
// translated code is dropped and made again, and its area fills and
// empties many times over.
#include <gtest/gtest.h>

#include "forth/tests/rom_process.h"

namespace norvex::forth {
namespace {

TEST(RomRecompile, WordsMadeAndForgottenThreeHundredThousandTimes) {
    const std::string program =
        "variable total\n"
        ": round  s\" marker gone : w 0 100 0 do i + loop ; w total +! gone\" evaluate ;\n"
        ": rounds  0 do round loop ;\n"
        "300000 rounds total @ . bye\n";
    const ProcessResult r = run_process(NORVEX_ROM_BIN, {}, program);
    EXPECT_EQ(r.status, 0) << r.output;
    // 4950 a round.
    EXPECT_NE(r.output.find("1485000000 "), std::string::npos) << r.output;
}

}  // namespace
}  // namespace norvex::forth
