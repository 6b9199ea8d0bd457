#include "services/control_memory.h"

namespace norvex {

ServiceEnd svc_BYE(Burst& b) {
    b.m.DBGMODE |= DM_STOP;
    return ServiceEnd::LeaveBurst;
}

// ( x mode -- 0 )
ServiceEnd svc_DEBUG(Burst& b) {
    b.require(2);
    const uint32_t mode = b.pop();
    b.m.DBGMODE = uint8_t(mode);
    b.m.BREAKADR = b.pop();
    b.push(0);
    return ServiceEnd::Continue;
}

// ( -- a 0 )
ServiceEnd svc_GETPAR(Burst& b) {
    b.push(b.m.ARGSTR);
    b.m.ARGSTR = 0;
    b.push(0);
    return ServiceEnd::Continue;
}

}  // namespace norvex
