#include "SettingsFile.h"

#include "common/TextForms.h"

#include <charconv>
#include <fstream>
#include <limits>
#include <optional>
#include <vector>

namespace parlet {
namespace {

// Far more than nine lines of paths; a larger file is not a settings file worth reading whole.
constexpr std::size_t maxSettingsBytes = 1 << 20;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Lines end in CRLF as written, but a file edited elsewhere may use LF or CR alone.
std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < text.size() && text[start] == '\n')
            ++start;
    }
    return lines;
}

// A device number: a whole decimal number, optionally signed, trailing blanks allowed.
// Anything else, or a value that cannot name a device, is none chosen.
template <typename Int> Int deviceNumber(std::string_view line) {
    std::string field = settingsField(line);
    while (!field.empty() && isBlank(field.back()))
        field.pop_back();
    std::string_view digits = field;
    if (!digits.empty() && digits.front() == '+')
        digits.remove_prefix(1);
    long long value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return -1;
    if (value < -1 || value > std::numeric_limits<Int>::max())
        return -1;
    return static_cast<Int>(value);
}

std::string numberText(long value) {
    return signNumber(static_cast<double>(value)) + " ";
}

} // namespace

std::string settingsField(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && isBlank(line[i]))
        ++i;
    if (i < line.size() && line[i] == '"') {
        std::string field;
        for (++i; i < line.size(); ++i) {
            if (line[i] != '"') {
                field += line[i];
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                field += '"';
                ++i;
            } else {
                break;
            }
        }
        return field;
    }
    std::size_t comma = line.find(',', i);
    return std::string(line.substr(i, comma == std::string_view::npos ? line.npos : comma - i));
}

std::string settingsNameText(std::string_view name) {
    bool plain = name.find_first_of(",\"") == std::string_view::npos &&
                 (name.empty() || !isBlank(name.front()));
    if (plain)
        return std::string(name);
    std::string quoted = "\"";
    for (char c : name) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + '"';
}

void parseSettingsText(std::string_view text, IniSettings &settings) {
    std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty())
        return;
    std::string tag = settingsField(lines[0]);
    if (tag != "V2" && tag != "V3")
        return;
    settings.iniVersion = tag;
    std::size_t count = tag == "V3" ? 9 : 6;
    auto line = [&](std::size_t number) -> std::optional<std::string_view> {
        if (number > count || number > lines.size())
            return std::nullopt;
        return lines[number - 1];
    };
    if (auto l = line(2))
        settings.midiInDev = deviceNumber<std::int32_t>(*l);
    if (auto l = line(3))
        settings.midiInName = settingsField(*l);
    if (auto l = line(4))
        settings.midiOutDev = deviceNumber<std::int16_t>(*l);
    if (auto l = line(5))
        settings.midiOutName = settingsField(*l);
    if (auto l = line(6))
        settings.cfgFile = *l;
    // The settings folder is where the next save goes and is not validated: an empty line 7
    // keeps the computed one. Lines 8 and 9 are validated later; an empty one gives way there.
    if (auto l = line(7); l && !l->empty())
        settings.iniDir = *l;
    if (auto l = line(8))
        settings.midDir = *l;
    if (auto l = line(9))
        settings.cfgDir = *l;
}

std::string formatSettingsText(const IniSettings &settings) {
    const std::string lines[] = {"V3",
                                 numberText(settings.midiInDev),
                                 settingsNameText(settings.midiInName),
                                 numberText(settings.midiOutDev),
                                 settingsNameText(settings.midiOutName),
                                 settings.cfgFile,
                                 settings.iniDir,
                                 settings.midDir,
                                 settings.cfgDir};
    std::string text;
    for (const std::string &line : lines)
        text += line + "\r\n";
    return text;
}

std::string joinPath(std::string_view folder, std::string_view name, char separator) {
    std::string path(folder);
    if (path.empty() || path.back() != separator)
        path += separator;
    return path + std::string(name);
}

IniSettings readSettings(Folders &folders) {
    const char separator = folders.PathSeparator();
    IniSettings settings;

    // The settings folder: the Vellmark subfolder of the application-data folder when it exists,
    // else that folder, else wherever we started.
    std::string appData;
    if (folders.SHGetFolderPathA(CSIDL_APPDATA, appData) == 0) {
        folders.ChDir(trimAtNul(appData));
        folders.ChDir(joinPath(folders.CurDir(), settingsSubfolder, separator));
    }
    settings.iniDir = folders.CurDir();

    std::string documents;
    if (folders.SHGetFolderPathA(CSIDL_PERSONAL, documents) == 0)
        folders.ChDir(trimAtNul(documents));
    settings.midDir = settings.cfgDir = settings.regDir = folders.CurDir();

    folders.ChDir(settings.iniDir);
    std::ifstream file(joinPath(folders.CurDir(), settingsFileName, separator), std::ios::binary);
    if (!file)
        return settings;
    std::string text(maxSettingsBytes, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    file.close();

    parseSettingsText(text, settings);
    if (settings.iniVersion.empty())
        return settings;

    // A stored folder that no longer exists gives way to the folder current before it.
    for (std::string *folder : {&settings.midDir, &settings.cfgDir, &settings.regDir}) {
        folders.ChDir(*folder);
        *folder = folders.CurDir();
    }
    return settings;
}

bool writeSettings(const IniSettings &settings, char separator) {
    std::ofstream file(joinPath(settings.iniDir, settingsFileName, separator),
                       std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    file << formatSettingsText(settings);
    file.close();
    return !file.fail();
}

} // namespace parlet
