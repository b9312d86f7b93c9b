#include "MidiFileSave.h"

#include "common/TextForms.h"

namespace parlet {

SaveOutcome saveMidiFileAs(Platform &platform, std::string &midDir, std::string &midFile,
                           const seq::CaptureBuffer &buffer, smf::DeltaMode mode) {
    FileDialogRequest request;
    request.filter = "MIDI Files (*.mid)|*.mid";
    request.filterIndex = 1;
    request.overwritePrompt = true;
    request.initDir = midDir;
    request.fileName = midFile;
    auto chosen = platform.fileDialogs.ShowSave(request);
    if (!chosen)
        return SaveOutcome::Cancelled;
    midDir = ExtractPath(*chosen);
    midFile = *chosen;
    auto result = smf::writeFile(*chosen, buffer.entries(), mode);
    if (!result.ok()) {
        platform.messages.MsgBox(result.error);
        return SaveOutcome::Failed;
    }
    return SaveOutcome::Written;
}

} // namespace parlet
