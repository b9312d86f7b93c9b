#include "app/windows/RunningMark.h"

#include <windows.h>

namespace parlet {

void markRunning() {
    // The installer opens the mutex by this name. The handle is never closed: Windows closes it
    // when the process ends, however it ends. A failure only costs the installer's warning.
    CreateMutexW(nullptr, FALSE, L"Local\\Vellmark.Parlet.Running");
}

} // namespace parlet
