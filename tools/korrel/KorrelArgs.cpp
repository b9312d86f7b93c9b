#include "KorrelArgs.h"

#include <array>
#include <charconv>

namespace korrel {
namespace {

std::optional<long long> integer(const std::string &text, int base = 10) {
    if (text.empty())
        return std::nullopt;
    long long value = 0;
    const char *first = text.data();
    const char *last = text.data() + text.size();
    if (base == 16 && (*first == '-' || *first == '+'))
        return std::nullopt;
    if (*first == '+')
        ++first;
    auto [end, error] = std::from_chars(first, last, value, base);
    if (error != std::errc() || end != last)
        return std::nullopt;
    return value;
}

const char *operationName(Operation operation) {
    switch (operation) {
    case Operation::None:
        return "nothing";
    case Operation::Download:
        return "download (-P and a file)";
    case Operation::Monitor:
        return "monitor (-L)";
    case Operation::Reset:
        return "reset (-R)";
    case Operation::Version:
        return "version query (-V)";
    case Operation::ProgramExecutive:
        return "program executive (-%)";
    case Operation::VerifyExecutive:
        return "verify executive (-v)";
    case Operation::Halt:
        return "halt (-H)";
    case Operation::Run:
        return "run (-E)";
    case Operation::DataDiagnostic:
        return "data diagnostic (-D)";
    case Operation::SaveRegistration:
        return "save registration (-S)";
    case Operation::LoadRegistration:
        return "load registration (-U)";
    case Operation::CopyRegistration:
        return "copy registration (-C)";
    }
    return "?";
}

class Parser {
  public:
    explicit Parser(const std::vector<std::string> &args) : m_args(args) {}

    ParseResult run() {
        while (m_pos < m_args.size() && m_error.empty())
            option(m_args[m_pos++]);
        if (m_error.empty() && m_request.operation == Operation::None)
            m_error = "nothing to do: no operation given (one of -P <file>, -L, -R, -V, -%, -v, "
                      "-H, -E, -D, -S, -U, -C)";
        if (m_error.empty() && m_request.count &&
            m_request.operation != Operation::SaveRegistration &&
            m_request.operation != Operation::LoadRegistration &&
            m_request.operation != Operation::CopyRegistration)
            m_error = "-n is only meaningful with -S, -U or -C";
        if (m_error.empty() && m_request.count &&
            m_request.module.value_or(0) + *m_request.count > 128)
            m_error = "the range of memories runs past memory 127";
        if (!m_error.empty())
            return {std::nullopt, m_error};
        return {m_request, {}};
    }

  private:
    void option(const std::string &token) {
        if (token.size() < 2 || token[0] != '-') {
            m_error = "unexpected argument \"" + token + "\"";
            return;
        }
        const char letter = token[1];
        const std::string rest = token.substr(2);
        switch (letter) {
        case 'i':
            if (auto value = number(letter, rest, -1, 255))
                m_request.inputDevice = static_cast<int>(*value);
            return;
        case 'o':
            if (auto value = number(letter, rest, -1, 255))
                m_request.outputDevice = static_cast<int>(*value);
            return;
        case 'm':
            if (auto value = number(letter, rest, 0, 127))
                m_request.module = static_cast<int>(*value);
            return;
        case 'n':
            if (auto value = number(letter, rest, 1, 128))
                m_request.count = static_cast<int>(*value);
            return;
        case 'D':
            if (auto value = number(letter, rest, -1, 1'000'000'000)) {
                m_request.diagnosticCount = *value;
                setOperation(Operation::DataDiagnostic);
            }
            return;
        case 'C':
            if (auto value = number(letter, rest, 0, 127)) {
                m_request.copyFrom = static_cast<int>(*value);
                setOperation(Operation::CopyRegistration);
            }
            return;
        case 'd':
            debug(rest);
            return;
        default:
            break;
        }
        if (!rest.empty()) {
            m_error = "unknown option \"" + token + "\"";
            return;
        }
        switch (letter) {
        case 'P':
            m_request.programMode = true;
            // A word that is not an option right after -P names the configuration file.
            if (m_pos < m_args.size() && (m_args[m_pos].empty() || m_args[m_pos][0] != '-')) {
                m_request.path = m_args[m_pos++];
                setOperation(Operation::Download);
            }
            return;
        case 'L':
            setOperation(Operation::Monitor);
            return;
        case 'R':
            setOperation(Operation::Reset);
            return;
        case 'V':
            setOperation(Operation::Version);
            return;
        case '%':
            setOperation(Operation::ProgramExecutive);
            return;
        case 'v':
            setOperation(Operation::VerifyExecutive);
            return;
        case 'H':
            setOperation(Operation::Halt);
            return;
        case 'E':
            setOperation(Operation::Run);
            return;
        case 'S':
        case 'U':
            if (m_pos >= m_args.size()) {
                m_error = std::string("-") + letter + " needs a registration file";
                return;
            }
            m_request.path = m_args[m_pos++];
            setOperation(letter == 'S' ? Operation::SaveRegistration : Operation::LoadRegistration);
            return;
        default:
            m_error = "unknown option \"" + token + "\"";
        }
    }

    // The value follows the letter directly (-m3, -i-1) or as the next word (-i 0, -n 128).
    std::optional<long long> number(char letter, const std::string &rest, long long min,
                                    long long max) {
        std::string text = rest;
        if (text.empty()) {
            if (m_pos >= m_args.size() || !integer(m_args[m_pos])) {
                m_error = std::string("-") + letter + " needs a number";
                if (m_pos < m_args.size())
                    m_error += ", not \"" + m_args[m_pos] + "\"";
                return std::nullopt;
            }
            text = m_args[m_pos++];
        }
        auto value = integer(text);
        if (!value) {
            m_error = std::string("-") + letter + " needs a number, not \"" + text + "\"";
            return std::nullopt;
        }
        if (*value < min || *value > max) {
            m_error = std::string("-") + letter + " " + text + " is out of range (" +
                      std::to_string(min) + " to " + std::to_string(max) + ")";
            return std::nullopt;
        }
        return value;
    }

    void debug(const std::string &rest) {
        std::string text = rest;
        if (text.empty() && m_pos < m_args.size() && integer(m_args[m_pos], 16))
            text = m_args[m_pos++];
        auto mask = integer(text, 16);
        if (!mask || *mask > 0xFFFF) {
            m_error = "-d needs a hexadecimal debug mask, not \"" + text + "\"";
            return;
        }
        m_request.debug = static_cast<std::uint32_t>(*mask);
    }

    void setOperation(Operation operation) {
        if (m_request.operation != Operation::None && m_request.operation != operation) {
            m_error = std::string("more than one operation: ") +
                      operationName(m_request.operation) + " and " + operationName(operation);
            return;
        }
        m_request.operation = operation;
    }

    const std::vector<std::string> &m_args;
    std::size_t m_pos = 0;
    Request m_request;
    std::string m_error;
};

std::string inDevice(int number) {
    return number < 0 ? "(none chosen)" : std::to_string(number);
}

std::string outDevice(int number) {
    return number < 0 ? "(default)" : std::to_string(number);
}

std::string moduleScope(const Request &request) {
    return request.module ? "starting at module " + std::to_string(*request.module)
                          : "on every module";
}

std::string memoryRange(const Request &request) {
    if (!request.module && !request.count)
        return "all registration memories";
    const int first = request.module.value_or(0);
    const int count = request.count.value_or(128 - first);
    return "registration memories " + std::to_string(first) + " through " +
           std::to_string(first + count - 1) + " (" + std::to_string(count) + ")";
}

} // namespace

ParseResult parseArgs(const std::vector<std::string> &args) {
    return Parser(args).run();
}

std::string debugNames(std::uint32_t mask) {
    static constexpr std::array<const char *, 9> names = {
        "Progress",           "Sysex info",          "Size logic",   "Hex program",
        "Config regurgitate", "Disassemble program", "Sysex in hex", "Show pgm/verify in chars",
        "Parser Details"};
    std::string text;
    for (std::size_t bit = 0; bit < 16; ++bit) {
        if ((mask & (1u << bit)) == 0)
            continue;
        if (!text.empty())
            text += ", ";
        text += bit < names.size() ? names[bit] : "bit " + std::to_string(bit);
    }
    return text;
}

std::string describe(const Request &r) {
    std::string text;
    switch (r.operation) {
    case Operation::None:
        text = "Nothing to do.";
        break;
    case Operation::Download:
        text = "Download the configuration file \"" + r.path + "\" " + moduleScope(r) + ".";
        if (r.path.empty())
            text += "\nNo configuration file was named.";
        break;
    case Operation::Monitor:
        text = "Monitor MIDI messages arriving on input device " + inDevice(r.inputDevice) + ".";
        break;
    case Operation::Reset:
        text = "Send a reset to output device " + outDevice(r.outputDevice) +
               ", which causes all Ombrix modules to reset.";
        break;
    case Operation::Version:
        text = "Query the Ombrix modules for their version information.";
        break;
    case Operation::ProgramExecutive:
        text = "Update the program (executive) " + moduleScope(r) + ".";
        break;
    case Operation::VerifyExecutive:
        text = "Verify the program (executive) " + moduleScope(r) + ".";
        break;
    case Operation::Halt:
        text = "Halt the modules " + moduleScope(r) + ".";
        break;
    case Operation::Run:
        text = "Run the modules " + moduleScope(r) + ".";
        break;
    case Operation::DataDiagnostic:
        text = "Data diagnostic: send " +
               (r.diagnosticCount < 0 ? std::string("random messages without end")
                                      : std::to_string(r.diagnosticCount) + " random messages") +
               " to output device " + outDevice(r.outputDevice) +
               " and compare what comes back on "
               "input device " +
               inDevice(r.inputDevice) + ".";
        break;
    case Operation::SaveRegistration:
        text = "Save " + memoryRange(r) + " to the file \"" + r.path + "\".";
        break;
    case Operation::LoadRegistration:
        text = "Load " + memoryRange(r) + " from the file \"" + r.path + "\".";
        break;
    case Operation::CopyRegistration:
        text = "Copy registration memory " + std::to_string(r.copyFrom) + " onto " +
               memoryRange(r) + ".";
        break;
    }
    text += "\nMIDI input device " + inDevice(r.inputDevice) + ", output device " +
            outDevice(r.outputDevice) + ".";
    if (r.debug != 0)
        text += "\nDebug display: " + debugNames(r.debug) + ".";
    return text + '\n';
}

} // namespace korrel
