// Service groups 0 and 1: control (stop, run modes, argument string), host
// memory blocks, extended addresses and flash.
#pragma once

#include "services/dispatch.h"

namespace norvex {

ServiceEnd svc_BYE(Burst& b);
ServiceEnd svc_DEBUG(Burst& b);
ServiceEnd svc_GETPAR(Burst& b);

}  // namespace norvex
