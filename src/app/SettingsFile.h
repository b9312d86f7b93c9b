#pragma once
// parlet.ini: one value per line, CRLF line ends, version tag "V3" (nine lines) or "V2" (six).
// Reading never fails: whatever is missing or unreadable keeps its default.
#include "platform/Folders.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace parlet {

inline constexpr std::string_view settingsFileName = "parlet.ini";
inline constexpr std::string_view settingsSubfolder = "Vellmark";

// The values the file holds and the folders worked out around it.
struct IniSettings {
    std::string iniVersion; // "" until a file with a known tag was read
    std::int32_t midiInDev = -1;
    std::string midiInName;
    std::int16_t midiOutDev = -1;
    std::string midiOutName;
    std::string cfgFile;
    std::string iniDir;
    std::string midDir;
    std::string cfgDir;
    std::string regDir; // never stored; the documents folder on every run
};

// The first field of a line: leading blanks skipped, then up to the first comma, or, when it
// opens with a double quote, up to the closing quote ("" inside stands for one quote).
std::string settingsField(std::string_view line);

// A name as it is written on its line. Names that field reading would cut or change (a comma, a
// double quote, a leading blank) go between double quotes; every other name is written as is.
std::string settingsNameText(std::string_view name);

// Applies the text of a settings file to `settings`. A first field other than "V2" or "V3"
// leaves everything untouched. Lines past the end of a short file keep their values; a device
// number that is not a whole number in its range, or is below -1, reads as -1.
void parseSettingsText(std::string_view text, IniSettings &settings);

// The nine lines of a V3 file, each ending in CRLF.
std::string formatSettingsText(const IniSettings &settings);

// `folder` and `name` joined by one separator.
std::string joinPath(std::string_view folder, std::string_view name, char separator);

// The start-up reading: works out the settings folder and the documents folder, reads the file
// when there is one and validates the stored folders. Folder failures are ignored; no folder is
// created. Leaves the current folder at regDir when the file was read, at iniDir otherwise.
IniSettings readSettings(Folders &folders);

// Writes the V3 file into settings.iniDir, replacing it. False when it cannot be written.
bool writeSettings(const IniSettings &settings, char separator);

} // namespace parlet
