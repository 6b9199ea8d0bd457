#include "services/clock_terminal.h"

#include "host/console.h"

namespace norvex {

namespace {

constexpr uint32_t kTrue = 0xFFFFFFFF;
constexpr uint32_t kTicksPerSecond = 1000;

// Refreshes the screen record from the console; false, the record as it
// was, when standard output is no terminal.
bool query(Machine& m) { return m.console->screen(m.services.screen); }

}  // namespace

// ( -- ticks 1000 0 )
Ior svc_SYSTICK(Burst& b) {
    b.push(b.m.console->tick_ms());
    b.push(kTicksPerSecond);
    return 0;
}

// ( -- ms sec min hour 0 )
Ior svc_TIMEFETCH(Burst& b) {
    const LocalTime t = b.m.console->local_time();
    b.push(t.ms);
    b.push(t.second);
    b.push(t.minute);
    b.push(t.hour);
    return 0;
}

// ( -- day month year 0 )
Ior svc_DATEFETCH(Burst& b) {
    const LocalTime t = b.m.console->local_time();
    b.push(t.day);
    b.push(t.month);
    b.push(t.year);
    return 0;
}

// ( u -- 0 )
Ior svc_WAITMS(Burst& b) {
    b.m.console->sleep_ms(b.pop());
    return 0;
}

// ( -- c 0 )
Ior svc_KEY(Burst& b) {
    const int key = b.m.console->read_key();
    b.push(key == kEndOfInput ? kEndOfInputKey : uint32_t(key));
    return 0;
}

// ( c -- 0 ); a byte 0 writes nothing.
Ior svc_EMIT(Burst& b) {
    const uint8_t c = uint8_t(b.pop());
    if (c != 0) b.m.console->write(&c, 1);
    return 0;
}

// ( -- flag 0 ); the key stays waiting.
Ior svc_KEYQ(Burst& b) {
    b.push(b.m.console->key_waiting() ? kTrue : 0);
    return 0;
}

// ( -- -1 0 )
Ior svc_EMITQ(Burst& b) {
    b.push(kTrue);
    return 0;
}

// ( -- 0 ): clears the screen and homes the cursor; nothing without a
// terminal. The console knows whether it has one, so PAGE asks nothing.
Ior svc_PAGE(Burst& b) {
    b.m.console->page();
    return 0;
}

// ( -- cols rows 0 ): the terminal's size.
Ior svc_ATMAX(Burst& b) {
    query(b.m);
    b.push(b.m.services.screen.max_cols);
    b.push(b.m.services.screen.max_rows);
    return 0;
}

// ( -- col row 0 )
Ior svc_ATXYQ(Burst& b) {
    query(b.m);
    b.push(b.m.services.screen.col);
    b.push(b.m.services.screen.row);
    return 0;
}

// ( col row -- 0 ); the low 16 bits of each.
Ior svc_ATXY(Burst& b) {
    b.require(2);
    const uint16_t row = uint16_t(b.pop());
    const uint16_t col = uint16_t(b.pop());
    b.m.services.screen.col = col;
    b.m.services.screen.row = row;
    b.m.console->move_cursor(col, row);
    return 0;
}

// ( -- attr 0 )
Ior svc_COLORFETCH(Burst& b) {
    query(b.m);
    b.push(b.m.services.screen.attr);
    return 0;
}

// ( attr -- 0 ); the low 16 bits.
Ior svc_COLORSTORE(Burst& b) {
    const uint16_t attr = uint16_t(b.pop());
    b.m.services.screen.attr = attr;
    b.m.console->set_attribute(attr);
    return 0;
}

}  // namespace norvex
