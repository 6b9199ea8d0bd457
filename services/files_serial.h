// Service group 4: host files and serial ports.
#pragma once

#include "services/dispatch.h"

namespace norvex {

// FOPEN's access mask.
constexpr uint32_t kAccessRead = 0x80000000;
constexpr uint32_t kAccessWrite = 0x40000000;

// FPOS!'s move methods.
enum MoveMethod : uint32_t { MOVE_BEGIN = 0, MOVE_CURRENT = 1, MOVE_END = 2 };

ServiceEnd svc_FCREATE(Burst& b);
ServiceEnd svc_FDELETE(Burst& b);
ServiceEnd svc_FOPEN(Burst& b);
ServiceEnd svc_FCLOSE(Burst& b);
ServiceEnd svc_FSIZEFETCH(Burst& b);   // FSIZE@
ServiceEnd svc_FPOSFETCH(Burst& b);    // FPOS@
ServiceEnd svc_FPOSSTORE(Burst& b);    // FPOS!
ServiceEnd svc_FREAD(Burst& b);
ServiceEnd svc_FWRITE(Burst& b);
ServiceEnd svc_FCOPY(Burst& b);

}  // namespace norvex
