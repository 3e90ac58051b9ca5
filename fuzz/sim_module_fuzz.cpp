// The simulated module's report handling under any sequence of reports: raw reports, command
// frames with any words, reads of its replies and the passing of time. Two modules take the
// same sequence and must answer alike (a reply that depends on anything but the sequence
// shows here), and a module at rest must answer as the protocol says: cmd_identify with its
// form's word, cmd_read_flash with its flash (zeros outside), cmd_bus_read with the register's
// value. Its flash changes only by a chunk it accepted.
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "define/byte_order.h"
#include "define/define.h"
#include "fuzz/fuzz_support.h"
#include "sim/sim_module.h"

namespace {

using Report = std::array<std::uint8_t, report_data_length>;

Report frame(std::uint8_t code, std::uint32_t a, std::uint32_t b = 0, std::uint32_t c = 0)
{
    Report r{};
    r[0] = command_marker;
    r[1] = code;
    put_le32(&r[2], a);
    put_le32(&r[6], b);
    put_le32(&r[10], c);
    return r;
}

struct Twins {
    SimModule one, two;

    void set(const Report& r)
    {
        FUZZ_CHECK(one.on_set_feature(r.data()) == two.on_set_feature(r.data()));
    }
    Report get()
    {
        Report a{}, b{};
        FUZZ_CHECK(one.on_get_feature(a.data()) == two.on_get_feature(b.data()));
        FUZZ_CHECK(a == b);
        return a;
    }
    void advance(std::uint32_t ms)
    {
        one.advance_ms(ms);
        two.advance_ms(ms);
    }
    // Long enough without a report that any transfer of the application is abandoned. The
    // loader keeps waiting for the rest of a cut image until the module is switched off and
    // on again, as an engineer would.
    void rest()
    {
        advance(5000);
        FUZZ_CHECK(one.mid_exchange() == two.mid_exchange());
        if (one.mid_exchange()) {
            FUZZ_CHECK(one.form() == SimModule::Form::loader);
            one.power_cycle();
            two.power_cycle();
        }
    }
};

std::vector<std::uint8_t> flash_copy(SimModule& m)
{
    const std::uint8_t* at = m.flash_at(flash_rom_address);
    return std::vector<std::uint8_t>(at, at + (flash_end_address - flash_rom_address));
}

std::uint8_t flash_byte(SimModule& m, std::uint64_t address)
{
    if (address < flash_rom_address || address >= flash_end_address) return 0;
    return *m.flash_at(static_cast<std::uint32_t>(address));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    Twins m;
    for (int step = 0; step < 256 && !in.empty(); ++step) {
        const std::vector<std::uint8_t> flash_before = flash_copy(m.one);
        const std::size_t committed_before = m.one.chunks_committed();
        switch (in.byte() % 7) {
        case 0: {  // any report
            Report r{};
            const auto bytes = in.bytes(r.size());
            std::copy(bytes.begin(), bytes.end(), r.begin());
            m.set(r);
            break;
        }
        case 1: {  // a command frame, its address often inside the flash
            const std::uint8_t code = in.byte() % 25;
            const std::uint8_t how = in.byte();
            std::uint32_t a = in.value<std::uint32_t>();
            if (how & 1) a = flash_rom_address + a % (flash_end_address - flash_rom_address + 64);
            std::uint32_t b = in.value<std::uint32_t>();
            if (how & 2) b = b % 4200;
            std::uint32_t c = in.value<std::uint32_t>();
            if (how & 4) c = c % 4200;
            m.set(frame(code, a, b, c));
            break;
        }
        case 2:
            m.get();
            break;
        case 3:
            m.advance(in.value<std::uint16_t>() % 3000);
            break;
        case 4: {  // identify, at rest
            m.rest();
            m.set(frame(cmd_identify, 0));
            const Report r = m.get();
            const bool app = m.one.form() == SimModule::Form::application;
            FUZZ_CHECK(get_le16(r.data()) == (app ? app_identity_word : loader_identity_word));
            break;
        }
        case 5: {  // read back flash, at rest
            m.rest();
            if (m.one.form() != SimModule::Form::application) break;
            const std::uint32_t address = flash_rom_address - 64 +
                in.value<std::uint16_t>() % (flash_end_address - flash_rom_address + 128);
            const std::uint32_t length = 1 + in.byte();
            m.set(frame(cmd_read_flash, address, length));
            for (std::uint32_t got = 0; got < length; got += report_data_length) {
                const Report r = m.get();
                for (std::uint32_t i = 0; i < report_data_length; ++i) {
                    const std::uint64_t at = std::uint64_t{address} + got + i;
                    FUZZ_CHECK(r[i] == (got + i < length ? flash_byte(m.one, at) : 0));
                }
            }
            break;
        }
        case 6: {  // a bus register, at rest
            m.rest();
            if (m.one.form() != SimModule::Form::application) break;
            const std::uint16_t address = in.value<std::uint16_t>();
            const std::uint16_t value = m.one.bus_register(address);
            m.set(frame(cmd_bus_read, address));
            FUZZ_CHECK(get_le16(m.get().data()) == value);
            break;
        }
        }
        if (m.one.chunks_committed() == committed_before) FUZZ_CHECK(flash_copy(m.one) == flash_before);
    }
    FUZZ_CHECK(flash_copy(m.one) == flash_copy(m.two));
    FUZZ_CHECK(std::memcmp(m.one.ram(), m.two.ram(), ram_size) == 0);
    return 0;
}
