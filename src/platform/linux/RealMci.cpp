#include "platform/RealServices.h"
#include "stream/SequencerDevice.h"

namespace parlet {

std::unique_ptr<Mci> makeRealMci(MidiSystem &midi) {
    return std::make_unique<SequencerDevice>(
        midi, [] { return std::make_unique<SteadyStreamTimer>(); }, true);
}

} // namespace parlet
