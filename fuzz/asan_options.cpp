// AddressSanitizer's defaults for the fuzz targets. Every input allocates and
// frees memories of megabytes; with the default quarantine of freed blocks
// (256 MiB) a target held about a gibibyte of host memory on a shared
// machine. 64 MiB still keeps the blocks of many inputs poisoned after they
// are freed.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }
