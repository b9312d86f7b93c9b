#include "ToolOptions.h"

#include "TextForms.h"

#include <algorithm>

namespace parlet::options {
namespace {

constexpr std::int16_t kLastMemory = 127;

std::int16_t memoryValue(std::string_view text) {
    return toInt16(numericValue(text));
}

std::int16_t clampMemory(std::int16_t value) {
    return std::clamp<std::int16_t>(value, 0, kLastMemory);
}

std::string quoted(std::string_view path) {
    std::string text = "\"";
    text += path;
    text += '"';
    return text;
}

} // namespace

std::string getDebugSetting(std::int16_t &d, const DebugBoxes &boxes) {
    for (std::size_t i = 0; i < boxes.size(); ++i)
        if (boxes[i])
            d = static_cast<std::int16_t>(d | (1 << i));
    if (d == 0)
        return {};
    return " -d" + hexUpper(static_cast<std::uint16_t>(d));
}

std::string getModuleSetting(bool moduleOnly, std::string_view module,
                             std::string_view otherOptions) {
    std::string s;
    if (moduleOnly) {
        s += " -m";
        s += module;
    }
    s += ' ';
    s += otherOptions;
    return s;
}

std::string toolCommandLine(bool keepWindowOpen, std::int32_t midiInDev, std::int16_t midiOutDev,
                            std::string_view s) {
    std::string line = keepWindowOpen ? "korrel.bat" : "korrel";
    line += " -i" + signNumber(midiInDev);
    line += " -o" + signNumber(midiOutDev);
    line += ' ';
    line += s;
    return line;
}

std::string toolOptions(ToolCommand command, const ToolFields &fields) {
    auto module = [&] {
        return getModuleSetting(fields.moduleOnly, fields.module, fields.otherOptions);
    };
    auto debug = [&](std::int16_t start) { return getDebugSetting(start, fields.debug); };
    switch (command) {
    case ToolCommand::Download:
        return module() + debug(0) + " -P \"" + backslashFix(fields.cfgFile) + '"';
    case ToolCommand::Monitor:
        return "-L";
    case ToolCommand::Reset:
        return "-R";
    case ToolCommand::Version:
        return "-P -V";
    case ToolCommand::Program:
        return module() + debug(0) + " -P -%";
    case ToolCommand::Verify:
        return module() + debug(1) + " -P -v";
    case ToolCommand::Halt:
        return module() + debug(0) + " -H";
    case ToolCommand::Run:
        return module() + debug(0) + " -E";
    case ToolCommand::DataDiag:
        // "Display data comparison" asks for the same bit as "Show pgm/verify in chars".
        return debug(fields.dispData ? 0x80 : 0) + " -P -D" + fields.diagCount;
    }
    return {};
}

std::int16_t rangeCount(std::string_view first, std::string_view last) {
    return toInt16(numericValue(last) - numericValue(first) + 1);
}

std::string registrationOptions(RegTransfer transfer, std::string_view otherOptions, bool rangeOnly,
                                std::string_view regMem, std::string_view regThrough,
                                const DebugBoxes &debug, std::string_view path) {
    std::string s(otherOptions);
    if (rangeOnly) {
        s += " -m";
        s += regMem;
        s += " -n" + signNumber(rangeCount(regMem, regThrough));
    }
    std::int16_t mask = 1;
    s += getDebugSetting(mask, debug);
    s += transfer == RegTransfer::Save ? " -P -S " : " -P -U ";
    s += quoted(path);
    return s;
}

std::string copyOptions(std::string_view otherOptions, std::string_view copyFrom,
                        std::string_view copyTo, std::string_view copyThrough,
                        const DebugBoxes &debug) {
    std::string s(otherOptions);
    s += " -m";
    s += copyTo;
    s += " -n" + signNumber(rangeCount(copyTo, copyThrough));
    std::int16_t mask = 1;
    s += getDebugSetting(mask, debug);
    s += " -P -C";
    s += copyFrom;
    return s;
}

RangeTexts firstFieldLeft(std::string_view first, std::string_view last) {
    std::int16_t from = clampMemory(memoryValue(first));
    std::int16_t to = memoryValue(last);
    RangeTexts texts{std::to_string(from), std::string(last)};
    if (from > to)
        texts.last = std::to_string(from);
    return texts;
}

RangeTexts lastFieldLeft(std::string_view first, std::string_view last) {
    std::int16_t from = memoryValue(first);
    std::int16_t to = clampMemory(memoryValue(last));
    RangeTexts texts{std::string(first), std::to_string(to)};
    if (from > to)
        texts.first = std::to_string(to);
    return texts;
}

std::string copyFromLeft(std::string_view text) {
    return signNumber(clampMemory(memoryValue(text)));
}

} // namespace parlet::options
