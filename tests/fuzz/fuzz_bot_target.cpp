// The USB mass-storage front end of the real-kernel rig over arbitrary
// command wrappers, one after another against the same simulated bridge.
//
// Input: the bridge's family and the disk's size, then wrappers of 31 bytes,
// each followed by its data-out bytes.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "bot_target.h"
#include "sim/profiles.h"

namespace {

// The gadget buffers up to 16 MB; the harness hands a smaller buffer for
// longer transfers, which the target must take as the data phase.
constexpr uint32_t kMaxDataPhase = 256 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    sim::FakeClock clock;
    const int family = input.ConsumeIntegralInRange<int>(1, 18);
    const auto route = static_cast<sim::Route>(input.ConsumeIntegralInRange<int>(0, 3));
    sim::Bridge bridge(sim::ProfileForFamily(family, route), clock);
    hil::BotTarget target(bridge, input.ConsumeIntegral<uint32_t>());

    std::vector<uint8_t> buffer;
    while (input.remaining_bytes() >= hil::kCbwSize) {
        std::vector<uint8_t> wrapper = input.ConsumeBytes<uint8_t>(hil::kCbwSize);
        if (input.ConsumeBool()) {  // most wrappers are well-formed enough to reach the target
            const uint8_t signature[4] = {'U', 'S', 'B', 'C'};
            std::copy(std::begin(signature), std::end(signature), wrapper.begin());
        }
        const std::optional<hil::Cbw> cbw = hil::ParseCbw(wrapper);
        if (!cbw) continue;
        buffer.assign(std::min(cbw->dataLength, kMaxDataPhase), 0);
        if (!cbw->dataIn) {
            const auto out = input.ConsumeBytes<uint8_t>(buffer.size());
            std::copy(out.begin(), out.end(), buffer.begin());
        }
        const hil::BotResult result = target.execute(*cbw, buffer);
        if (result.residue > cbw->dataLength) std::abort();
        hil::BuildCsw(cbw->tag, result.residue, result.status);
    }
    return 0;
}
