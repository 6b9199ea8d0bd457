// Runs code of the Forth kernel inside a simulator in this process: the
// kernel's sources are cross-compiled together with test definitions, and
// the image starts at a test word instead of COLD.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norvex::forth {

struct KernelRun {
    std::vector<int32_t> stack;   // what the test word left, bottom first
    std::string output;           // what it wrote to the console
    int status = 0;               // the run's end (0: BYE)
};

// The kernel image with `definitions` compiled after the kernel's own, and
// a start word that sets the machine up like COLD, runs `body` and saves
// the data stack where the test can read it.
std::vector<uint8_t> kernel_image(const std::string& definitions, const std::string& body);

// Runs an image with the given keys and argument string until it stops.
KernelRun run_image(const std::vector<uint8_t>& image, const std::string& keys = "",
                    const std::string& args = "");

}  // namespace norvex::forth
