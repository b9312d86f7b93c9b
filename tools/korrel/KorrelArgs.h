#pragma once
// The stand-in tool's reading of its command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korrel {

enum class Operation {
    None,
    Download,
    Monitor,
    Reset,
    Version,
    ProgramExecutive,
    VerifyExecutive,
    Halt,
    Run,
    DataDiagnostic,
    SaveRegistration,
    LoadRegistration,
    CopyRegistration,
};

struct Request {
    int inputDevice = -1;
    int outputDevice = -1;
    bool programMode = false; // -P
    Operation operation = Operation::None;
    std::string path;              // configuration or registration file
    std::optional<int> module;     // -m: first module, or first memory of a range
    std::optional<int> count;      // -n: number of memories
    long long diagnosticCount = 0; // -D: messages to send, -1 without end
    int copyFrom = 0;              // -C: source memory
    std::uint32_t debug = 0;       // -d: debug mask
};

struct ParseResult {
    std::optional<Request> request;
    std::string error; // set when the command line is malformed
};

// `args` are the arguments after the program name, as the runtime split them.
ParseResult parseArgs(const std::vector<std::string> &args);

// What the request asks for, in words, one item per line.
std::string describe(const Request &request);

// The names of the debug bits that `mask` sets, joined by ", ".
std::string debugNames(std::uint32_t mask);

inline constexpr std::uint32_t kShowDataBit = 0x80;

} // namespace korrel
