#include "forth/tests/kernel_run.h"

#include "core/engine.h"
#include "forth/cross/cross.h"
#include "image/startup.h"
#include "host/console.h"
#include "testing/script_console.h"
#include "monitor/fault_report.h"

namespace norvex::forth {

namespace {

// Where the test's start word saves the stack, depth first: the guard
// region above the return stack, at the end of the 1 MiB variable memory.
constexpr uint32_t kSaveArea = 0x200FFF00;

const char* const kKernelFiles[] = {
    "memory", "prims", "basics", "io", "dictionary", "heap", "input", "compiler", "interpreter",
};

}  // namespace

std::vector<uint8_t> kernel_image(const std::string& definitions, const std::string& body) {
    CrossCompiler cross;
    const std::string dir = FORTH_SOURCE_DIR "/kernel/";
    for (const char* f : kKernelFiles) cross.compile_file(dir + f + ".fs");
    cross.compile_text(definitions + R"(
: save-stack ( i*x -- )  depth dup rp0 ! 0 ?do rp0 i 1+ cells + ! loop ;
: test-main  rp@ lay-out rp0 rp! sp0 sp! restore-data heap-init init  )" + body + R"(  save-stack bye ;
)", "test definitions");
    cross.compile_file(dir + "seal.fs");
    cross.compile_text("' test-main START!", "test start");
    return cross.image();
}

KernelRun run_image(const std::vector<uint8_t>& image, const std::string& keys,
                    const std::string& args) {
    Machine m;
    ScriptConsole console(keys);
    m.console = &console;
    KernelRun run;
    try {
        STARTUP(m, args, image.data(), uint32_t(image.size()));
        while (!(m.DBGMODE & DM_STOP)) RUNBURST(m);
    } catch (const RunEnd& end) {
        run.status = end.status;
    } catch (const Fault& f) {
        run.status = report_fault(m, f).status;
    }
    run.output = console.output();
    if (run.status == 0 && m.mem.var) {
        const uint8_t* save = m.mem.var + (kSaveArea - m.mem.VAROFF);
        const uint32_t depth = mem_load32(save);
        for (uint32_t k = depth; k > 0 && k < 64; --k) run.stack.push_back(int32_t(mem_load32(save + 4 * k)));
    }
    SHUTDOWN(m);
    return run;
}

}  // namespace norvex::forth
