#pragma once

namespace parlet {

// Marks this process as a running Parlet for as long as it runs: the installer and the
// uninstaller look for the mark and ask the user to close Parlet before they replace its files.
void markRunning();

} // namespace parlet
