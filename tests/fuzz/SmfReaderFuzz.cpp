// Feeds arbitrary bytes to the MIDI file reader: it must answer or refuse, never crash or hang,
// and what it accepts must be playable as read.
#include "platform/linux/stream/SmfReader.h"
#include "platform/linux/stream/StreamPlayer.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    auto file = parlet::readSmf(std::span<const std::uint8_t>(data, size));
    if (!file)
        return 0;
    std::uint32_t previous = 0;
    for (const auto &event : file->events) {
        if (event.tick < previous || event.tick > file->endTick)
            std::abort();
        if (event.kind == parlet::SmfEvent::Long &&
            std::size_t{event.word} + event.length > file->longData.size())
            std::abort();
        previous = event.tick;
    }
    if (!parlet::StreamPlayer::validDivision(file->division))
        std::abort();
    return 0;
}
