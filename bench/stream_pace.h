// What the firmware-stream benchmarks of both windows share: the simulated module in its
// loader form behind a link at the module's pace, a carried image of the usual size, the
// reports of one stream as the window sent them, and a bare loop that sends the same reports
// through the same link with nothing around them, as the yardstick of the window's stream.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/Hid.h"
#include "sim/paced_hid.h"
#include "sim/sim_bus.h"
#include "sim/sim_module.h"

namespace stream_pace {

// 485 full pieces and one of 168 bytes: 3883 data reports after the announcement.
constexpr std::size_t image_size = 248488;

inline std::vector<std::uint8_t> make_image()
{
    std::vector<std::uint8_t> image(image_size);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return image;
}

// Passes every call on and, while recording, keeps each report in order: what was written,
// or that one was read.
class RecordingHid : public Hid {
public:
    struct Report {
        bool written = false;
        std::vector<std::uint8_t> bytes;
    };
    explicit RecordingHid(Hid& inner) : inner_(inner) {}
    bool recording = false;
    std::vector<Report> reports;

    bool list_interfaces(std::vector<HidInterfaceInfo>& out) override { return inner_.list_interfaces(out); }
    HidHandleId open(const std::string& path) override { return inner_.open(path); }
    bool attributes(HidHandleId h, std::uint16_t& v, std::uint16_t& p) override { return inner_.attributes(h, v, p); }
    bool feature_report_length(HidHandleId h, std::size_t& n) override { return inner_.feature_report_length(h, n); }
    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override
    {
        if (recording) reports.push_back({true, std::vector<std::uint8_t>(buf, buf + length)});
        return inner_.set_feature(h, buf, length);
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        if (recording) reports.push_back({false, std::vector<std::uint8_t>(length)});
        return inner_.get_feature(h, buf, length);
    }
    void close(HidHandleId h) override { inner_.close(h); }
    HidClaim claim(HidHandleId h) override { return inner_.claim(h); }

private:
    Hid& inner_;
};

using Duration = std::chrono::steady_clock::duration;
using Now = Duration (*)();
inline Duration steady_now() { return std::chrono::steady_clock::now().time_since_epoch(); }

// The module on the bus with the window's link to it: bus → pace → recorder (the window's Hid).
// `now` is the clock of the pace and of the timings; each report takes `pace` of it, spun out.
struct Rig {
    explicit Rig(Now clock = steady_now) : now(clock)
    {
        bus.add_interface(module);
        module.set_form(SimModule::Form::loader);
    }
    Now now;
    Duration pace{};
    SimModule module;
    SimBus bus;
    PacedHid paced{bus, [this] {
                       const Duration until = now() + pace;
                       while (now() < until) {
                       }
                   }};
    RecordingHid window_hid{paced};
};

using Seconds = std::chrono::duration<double>;

// The recorded reports sent once more through the paced link on one open interface.
inline Seconds bare_loop(Rig& rig)
{
    rig.module.set_form(SimModule::Form::loader);
    std::vector<HidInterfaceInfo> listed;
    rig.paced.list_interfaces(listed);
    std::vector<std::uint8_t> reply(65);
    const auto start = rig.now();
    const HidHandleId h = rig.paced.open(listed.at(0).path);
    rig.paced.claim(h);
    for (const RecordingHid::Report& r : rig.window_hid.reports) {
        if (r.written)
            rig.paced.set_feature(h, r.bytes.data(), r.bytes.size());
        else
            rig.paced.get_feature(h, reply.data(), reply.size());
    }
    rig.paced.close(h);
    return rig.now() - start;
}

// One stream of the window (`stream` runs it), timed; the first one is recorded.
template <typename Stream> Seconds window_stream(Rig& rig, Stream&& stream)
{
    rig.module.set_form(SimModule::Form::loader);
    rig.window_hid.recording = rig.window_hid.reports.empty();
    const auto start = rig.now();
    stream();
    const Seconds took = rig.now() - start;
    rig.window_hid.recording = false;
    return took;
}

}  // namespace stream_pace
