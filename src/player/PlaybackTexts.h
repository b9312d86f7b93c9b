#pragma once
// The texts of an MCI playback that do not depend on any window: the commands whose numbers
// must be written exactly, the times shown and the speed box's steps.
#include <string>

namespace parlet::playback {

// "open "<path>" type sequencer alias midio": the quotes keep a path with blanks whole.
std::string openCommand(const std::string &path);
// The device number in the sign-position form: " 1" gives "set midio port  1".
std::string portCommand(int device);
// The sign-position floor of tempo x rate / 100: tempo 120 at rate 125 gives
// "set midio tempo  150".
std::string tempoCommand(double nominalTempo, double rate);

// A length or position reply as shown: for files timed in pulses the reply counts sixteenth
// notes, shown at the nominal tempo in the time display form; other replies, and any reply
// while the tempo is unknown (0), are shown as they came.
std::string timeText(const std::string &reply, bool ppqn, double nominalTempo);

enum class RateStep { Slower, Normal, Faster };
// The speed box's text after a step from `rate`: x0.8, "100", x1.25 (" 125" from 100).
std::string steppedRate(RateStep step, double rate);

} // namespace parlet::playback
