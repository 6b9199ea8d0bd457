// Service groups 2 and 3: the clock (tick counter, time, date, waiting) and
// the terminal (keys, characters, screen, cursor, colour).
#pragma once

#include "services/dispatch.h"

namespace norvex {

// KEY's answer at the end of a non-terminal input, every time: the image
// sees an end-of-transmission byte and can finish instead of hanging.
constexpr uint32_t kEndOfInputKey = 0x04;

Ior svc_SYSTICK(Burst& b);
Ior svc_TIMEFETCH(Burst& b);   // TIME@
Ior svc_DATEFETCH(Burst& b);   // DATE@
Ior svc_WAITMS(Burst& b);

Ior svc_KEY(Burst& b);
Ior svc_EMIT(Burst& b);
Ior svc_KEYQ(Burst& b);    // KEY?
Ior svc_EMITQ(Burst& b);   // EMIT?
Ior svc_PAGE(Burst& b);
Ior svc_ATMAX(Burst& b);
Ior svc_ATXYQ(Burst& b);     // ATXY?
Ior svc_ATXY(Burst& b);
Ior svc_COLORFETCH(Burst& b);   // COLOR@
Ior svc_COLORSTORE(Burst& b);   // COLOR!

}  // namespace norvex
