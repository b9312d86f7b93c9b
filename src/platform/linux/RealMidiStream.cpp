#include "platform/RealServices.h"
#include "stream/StreamService.h"

namespace parlet {

std::unique_ptr<MidiStream> makeRealMidiStream(MidiSystem &midi) {
    return std::make_unique<StreamService>(
        midi, [] { return std::make_unique<SteadyStreamTimer>(); }, true);
}

} // namespace parlet
