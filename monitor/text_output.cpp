#include "monitor/text_output.h"

#include "host/console.h"

namespace norvex {

void PRINTSTR(Machine& m, std::string_view s) {
    const size_t nul = s.find('\0');
    if (nul != std::string_view::npos) s = s.substr(0, nul);
    m.console->write(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

void PRINTHEX(Machine& m, uint32_t value, int digits) {
    char text[9];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = "0123456789ABCDEF"[value & 0xF];
        value >>= 4;
    }
    PRINTSTR(m, std::string_view(text, size_t(digits)));
}

void DUMPLINE(Machine& m, uint32_t host_address) {
    PRINTHEX(m, host_address, 8);
    const HostBlock* block = m.space.find(host_address, 16);
    const uint8_t flip = block && block->complemented ? 0xFF : 0x00;
    for (uint32_t i = 0; i < 16; ++i) {
        PRINTSTR(m, " ");
        PRINTHEX(m, block ? block->data[host_address - block->base + i] ^ flip : 0, 2);
    }
}

void WAITKEY(Machine& m) {
    m.console->flush_input();
    m.console->sleep_ms(1);
    m.console->read_key();
}

TextBatch::TextBatch(Machine& m) : m_(m) { m_.console->begin_batch(); }
TextBatch::~TextBatch() { m_.console->end_batch(); }

}  // namespace norvex
