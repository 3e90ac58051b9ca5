// What the firmware-stream benchmarks of both windows share: the simulated module in its
// loader form behind a link at the module's pace, a carried image of the usual size, the
// reports of one stream as the window sent them, and a bare loop that sends the same reports
// through the same link with nothing around them, as the yardstick of the window's stream.
#pragma once

#include <algorithm>
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

// The window's link: each report at the module's pace (PacedHid) and, while recording, kept in
// order: what was written, or that one was read.
class RecordingHid : public PacedHid {
public:
    struct Report {
        bool written = false;
        std::vector<std::uint8_t> bytes;
    };
    using PacedHid::PacedHid;
    bool recording = false;
    std::vector<Report> reports;

    bool set_feature(HidHandleId h, const std::uint8_t* buf, std::size_t length) override
    {
        if (recording) reports.push_back({true, std::vector<std::uint8_t>(buf, buf + length)});
        return PacedHid::set_feature(h, buf, length);
    }
    bool get_feature(HidHandleId h, std::uint8_t* buf, std::size_t length) override
    {
        if (recording) reports.push_back({false, std::vector<std::uint8_t>(length)});
        return PacedHid::get_feature(h, buf, length);
    }
};

using Duration = std::chrono::steady_clock::duration;
using Now = Duration (*)();
inline Duration steady_now() { return std::chrono::steady_clock::now().time_since_epoch(); }

// The module on the bus with the window's link to it. `now` is the clock of the pace and of the
// timings; each report takes `pace` of it, spun out.
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
    RecordingHid window_hid{bus, [this] {
                                const Duration until = now() + pace;
                                while (now() < until) {
                                }
                            }};
};

using Seconds = std::chrono::duration<double>;

// The recorded reports sent once more through the same paced link on one open interface.
inline Seconds bare_loop(Rig& rig)
{
    rig.module.set_form(SimModule::Form::loader);
    PacedHid& link = rig.window_hid;
    std::vector<HidInterfaceInfo> listed;
    link.list_interfaces(listed);
    std::vector<std::uint8_t> reply(65);
    const auto start = rig.now();
    const HidHandleId h = link.open(listed.at(0).path);
    link.claim(h);
    for (const RecordingHid::Report& r : rig.window_hid.reports) {
        if (r.written)
            link.set_feature(h, r.bytes.data(), r.bytes.size());
        else
            link.get_feature(h, reply.data(), reply.size());
    }
    link.close(h);
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

inline double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

}  // namespace stream_pace
