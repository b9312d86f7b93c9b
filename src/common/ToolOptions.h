#pragma once
// The option strings of the tool commands, composed from the texts and ticks of the main window's
// fields. The windows read their fields and call these; the tool receives exactly these texts.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace parlet::options {

// Ticks of the nine debug boxes; box i stands for mask bit i.
using DebugBoxes = std::array<bool, 9>;

// ORs every ticked box's bit into `d` and gives " -d" and the mask in upper-case hexadecimal,
// or "" when the mask is 0.
std::string getDebugSetting(std::int16_t &d, const DebugBoxes &boxes);

// " -m" and the module text when `moduleOnly`, then a blank and the free options.
std::string getModuleSetting(bool moduleOnly, std::string_view module,
                             std::string_view otherOptions);

// The tool name, the two device options and the option string: "korrel -i 0 -o 1 " + s.
std::string toolCommandLine(bool keepWindowOpen, std::int32_t midiInDev, std::int16_t midiOutDev,
                            std::string_view s);

enum class ToolCommand { Download, Monitor, Reset, Version, Program, Verify, Halt, Run, DataDiag };

// The main window's fields that the tool commands read, as their texts and ticks stand.
struct ToolFields {
    DebugBoxes debug{};
    bool moduleOnly = false;
    std::string module = "0";
    std::string otherOptions;
    bool dispData = false;
    std::string diagCount = "10";
    std::string cfgFile;
};

std::string toolOptions(ToolCommand command, const ToolFields &fields);

// The number of memories from `first` to `last`, both counted: the numeric values' difference
// plus one, rounded halves to even and clamped to 16 bits.
std::int16_t rangeCount(std::string_view first, std::string_view last);

enum class RegTransfer { Save, Load };

// Save or load all memories, or the range `regMem` .. `regThrough` when `rangeOnly`.
std::string registrationOptions(RegTransfer transfer, std::string_view otherOptions, bool rangeOnly,
                                std::string_view regMem, std::string_view regThrough,
                                const DebugBoxes &debug, std::string_view path);

// Copy memory `copyFrom` onto `copyTo` .. `copyThrough`. The texts travel as they stand.
std::string copyOptions(std::string_view otherOptions, std::string_view copyFrom,
                        std::string_view copyTo, std::string_view copyThrough,
                        const DebugBoxes &debug);

// The texts of a pair of range fields after one of them lost the focus.
struct RangeTexts {
    std::string first;
    std::string last;
};

// The field just left is clamped to 0..127 and wins; the other is pulled along so that
// first <= last, and is otherwise left as typed.
RangeTexts firstFieldLeft(std::string_view first, std::string_view last);
RangeTexts lastFieldLeft(std::string_view first, std::string_view last);

// The source memory of a copy once its field lost the focus: clamped to 0..127, written with a
// blank in the sign place (" 5").
std::string copyFromLeft(std::string_view text);

} // namespace parlet::options
