#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace parlet {

struct FileFilterEntry {
    std::string description; // "Ombrix Configuration Files (*.ocf)"
    std::string pattern;     // "*.ocf"
};

// Splits the common dialog's "Description|pattern|Description|pattern" list. A trailing
// description without a pattern is dropped.
std::vector<FileFilterEntry> parseFilter(std::string_view filter);

// The entry as a Qt name filter. "*.*" becomes "*", which is what "All Files" means where names
// need not have an extension.
std::string qtNameFilter(const FileFilterEntry &entry);

} // namespace parlet
