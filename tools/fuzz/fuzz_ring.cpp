// The stream queue's ring against a plain model: any mix of puts that drop the
// oldest units, waiting puts that fit and takes keeps the same bytes in the same
// order, in whole units, and counts every dropped unit.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "byte_ring.h"
#include "fuzz_check.h"

namespace {

const size_t CAPACITY_STEP = 37;        // capacities from the input: 1 to 255 steps
const size_t PACKET_UNIT = 188;

struct Model {
    std::deque<uint8_t> bytes;
    size_t              capacity;
    size_t              unit;

    size_t PutDroppingOldest(const uint8_t* data, size_t size)
    {
        const size_t units = size / unit;
        size_t dropped = 0;
        for (size_t u = 0; u < units; ++u) {
            if (capacity < unit) {
                ++dropped;
                continue;
            }
            if (bytes.size() + unit > capacity) {
                bytes.erase(bytes.begin(), bytes.begin() + unit);
                ++dropped;
            }
            bytes.insert(bytes.end(), data + u * unit, data + (u + 1) * unit);
        }
        return dropped;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const size_t unit = data[0] & 1 ? PACKET_UNIT : 1;
    const size_t capacity = data[1] * CAPACITY_STEP;
    ByteRing ring(capacity, unit);
    Model model{{}, capacity / unit * unit, unit};
    std::vector<uint8_t> out(capacity + PACKET_UNIT);
    for (size_t at = 2; at + 2 <= size;) {
        const uint8_t op = data[at] % 3;
        const size_t length = data[at + 1] * 4;
        at += 2;
        const size_t available = size - at < length ? size - at : length;
        if (op == 0) {
            FUZZ_CHECK(ring.PutDroppingOldest(data + at, available) == model.PutDroppingOldest(data + at, available));
            at += available;
        } else if (op == 1) {
            // As a waiting pusher does: what fits, in whole units.
            const size_t fits = (available < ring.Room() ? available : ring.Room()) / unit * unit;
            ring.Put(data + at, fits);
            model.bytes.insert(model.bytes.end(), data + at, data + at + fits);
            at += available;
        } else {
            const size_t took = ring.Take(out.data(), length < out.size() ? length : out.size());
            FUZZ_CHECK(took % unit == 0);
            FUZZ_CHECK(took <= model.bytes.size());
            for (size_t i = 0; i < took; ++i)
                FUZZ_CHECK(out[i] == model.bytes[i]);
            model.bytes.erase(model.bytes.begin(), model.bytes.begin() + took);
        }
        FUZZ_CHECK(ring.Size() == model.bytes.size());
        FUZZ_CHECK(ring.Size() <= ring.Capacity());
    }
    return 0;
}
