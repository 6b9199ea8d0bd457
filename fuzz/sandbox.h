// The fuzz targets' sandbox. Fuzzed images name files of their own choosing,
// so every target runs in a scratch directory of its own, emptied between
// inputs, and (where the kernel has Landlock) cannot write, create, delete or
// control a device anywhere else: only the scratch directory, the directories
// the fuzzer itself writes to, and /dev/null and /dev/full are open to it.
#pragma once

namespace norvex::fuzz {

// Called once from LLVMFuzzerInitialize with the fuzzer's arguments, before
// the fuzzer reads them: paths in them become absolute (the working directory
// is about to change), a default artifact prefix names the directory the
// fuzzer was started in, the fuzzer leaves SIGXFSZ alone (files are bounded
// in size, and a write past the bound fails), then the sandbox closes and the
// scratch directory becomes the working directory.
void enter_sandbox(int* argc, char*** argv);

// Removes everything the last input left in the scratch directory.
void clear_scratch();

// The input's bound on memories and XALLOC: more than any image of the
// corpus needs (the Forth system takes 3 MiB), well inside the fuzzer's
// malloc limit (a 4 GiB memory is legal and cheap in the programs, whose
// untouched pages cost nothing), and small enough that a loop of services
// over whole memories (FLASH-E, FWRITE) stays within the fuzzer's time-out.
constexpr unsigned long long kMemoryBound = 8ull << 20;

}  // namespace norvex::fuzz
