#include "PlaybackTexts.h"

#include "common/TextForms.h"

#include <cmath>

namespace parlet::playback {

std::string openCommand(const std::string &path) {
    return "open \"" + path + "\" type sequencer alias midio";
}

std::string portCommand(int device) {
    return "set midio port " + signNumber(device);
}

std::string tempoCommand(double nominalTempo, double rate) {
    return "set midio tempo " + signNumber(std::floor(nominalTempo * rate / 100));
}

std::string timeText(const std::string &reply, bool ppqn, double nominalTempo) {
    if (!ppqn || nominalTempo == 0)
        return reply;
    return timeDisplay(numericValue(reply) / nominalTempo / 4);
}

std::string steppedRate(RateStep step, double rate) {
    switch (step) {
    case RateStep::Slower:
        return signNumber(rate * 0.8);
    case RateStep::Faster:
        return signNumber(rate * 1.25);
    case RateStep::Normal:
        break;
    }
    return "100";
}

} // namespace parlet::playback
