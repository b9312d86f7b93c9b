#pragma once
// The Save step that the capture window and the sequencer window share: the save dialog, the
// remembered MIDI folder and file, the write, and the message when the file cannot be written.
#include "platform/Platform.h"
#include "player/SmfWriter.h"

#include <string>

namespace parlet {

enum class SaveOutcome {
    Cancelled, // the dialog was cancelled: nothing changed
    Failed,    // the user has been told why; midDir and midFile name the chosen file
    Written,
};

// Shows the save dialog at `midDir`/`midFile` (no default extension: a name typed without ".mid"
// is used as typed), takes the chosen path into `midDir` and `midFile` before writing, and
// writes the buffer with the given delta mode. The buffer is never changed.
SaveOutcome saveMidiFileAs(Platform &platform, std::string &midDir, std::string &midFile,
                           const seq::CaptureBuffer &buffer, smf::DeltaMode mode);

} // namespace parlet
