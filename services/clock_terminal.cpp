#include "services/clock_terminal.h"

#include "monitor/console.h"
#include "monitor/text_output.h"

namespace norvex {

namespace {

constexpr uint32_t kTrue = 0xFFFFFFFF;

}  // namespace

// ( -- c 0 )
ServiceEnd svc_KEY(Burst& b) {
    const int key = b.m.console->read_key();
    b.push(key == kEndOfInput ? kEndOfInputKey : uint32_t(key));
    b.push(0);
    return ServiceEnd::Continue;
}

// ( c -- 0 ); a byte 0 writes nothing.
ServiceEnd svc_EMIT(Burst& b) {
    const char text[2] = {char(b.pop()), '\0'};
    PRINTSTR(b.m, text);
    b.push(0);
    return ServiceEnd::Continue;
}

// ( -- flag 0 ); the key stays waiting.
ServiceEnd svc_KEYQ(Burst& b) {
    b.push(b.m.console->key_waiting() ? kTrue : 0);
    b.push(0);
    return ServiceEnd::Continue;
}

// ( -- -1 0 )
ServiceEnd svc_EMITQ(Burst& b) {
    b.push(kTrue);
    b.push(0);
    return ServiceEnd::Continue;
}

}  // namespace norvex
