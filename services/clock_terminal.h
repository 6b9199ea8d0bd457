// Service groups 2 and 3: the clock (tick counter, time, date, waiting) and
// the terminal (keys, characters, screen, cursor, colour).
#pragma once

#include "services/dispatch.h"

namespace norvex {

// KEY's answer at the end of a non-terminal input, every time: the image
// sees an end-of-transmission byte and can finish instead of hanging.
constexpr uint32_t kEndOfInputKey = 0x04;

ServiceEnd svc_SYSTICK(Burst& b);
ServiceEnd svc_TIMEFETCH(Burst& b);   // TIME@
ServiceEnd svc_DATEFETCH(Burst& b);   // DATE@
ServiceEnd svc_WAITMS(Burst& b);

ServiceEnd svc_KEY(Burst& b);
ServiceEnd svc_EMIT(Burst& b);
ServiceEnd svc_KEYQ(Burst& b);    // KEY?
ServiceEnd svc_EMITQ(Burst& b);   // EMIT?
ServiceEnd svc_PAGE(Burst& b);
ServiceEnd svc_ATMAX(Burst& b);
ServiceEnd svc_ATXYQ(Burst& b);     // ATXY?
ServiceEnd svc_ATXY(Burst& b);
ServiceEnd svc_COLORFETCH(Burst& b);   // COLOR@
ServiceEnd svc_COLORSTORE(Burst& b);   // COLOR!

}  // namespace norvex
