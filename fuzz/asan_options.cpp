// AddressSanitizer's defaults for the fuzz targets. Inputs allocate memories
// of up to 32 MiB each; a quarantine of freed blocks at the default 256 MiB
// then holds about a gibibyte of host memory on a shared machine. 64 MiB
// still keeps the blocks of many inputs poisoned after they are freed.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }
