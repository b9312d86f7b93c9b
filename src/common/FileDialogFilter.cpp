#include "FileDialogFilter.h"

namespace parlet {

std::vector<FileFilterEntry> parseFilter(std::string_view filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t bar = filter.find('|', start);
        if (bar == std::string_view::npos)
            bar = filter.size();
        parts.emplace_back(filter.substr(start, bar - start));
        start = bar + 1;
    }
    std::vector<FileFilterEntry> entries;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2)
        entries.push_back({parts[i], parts[i + 1]});
    return entries;
}

std::string qtNameFilter(const FileFilterEntry &entry) {
    std::string description = entry.description.substr(0, entry.description.find(" ("));
    std::string patterns;
    std::size_t start = 0;
    while (start <= entry.pattern.size()) {
        std::size_t semicolon = entry.pattern.find(';', start);
        if (semicolon == std::string::npos)
            semicolon = entry.pattern.size();
        std::string pattern = entry.pattern.substr(start, semicolon - start);
        if (pattern == "*.*")
            pattern = "*";
        patterns += (patterns.empty() ? "" : " ") + pattern;
        start = semicolon + 1;
    }
    return description + " (" + patterns + ")";
}

} // namespace parlet
