#include "CommandLine.h"

namespace parlet {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    const std::size_t end = line.size();
    while (pos < end && isBlank(line[pos]))
        ++pos;
    if (pos == end)
        return words;

    // The program name: quotes group, nothing else is special.
    std::string program;
    bool quoted = false;
    for (; pos < end; ++pos) {
        char c = line[pos];
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && isBlank(c))
            break;
        else
            program += c;
    }
    words.push_back(std::move(program));

    while (true) {
        while (pos < end && isBlank(line[pos]))
            ++pos;
        if (pos == end)
            break;
        std::string word;
        quoted = false;
        while (pos < end) {
            char c = line[pos];
            if (c == '\\') {
                std::size_t slashes = 0;
                while (pos < end && line[pos] == '\\') {
                    ++slashes;
                    ++pos;
                }
                if (pos < end && line[pos] == '"') {
                    word.append(slashes / 2, '\\');
                    if (slashes % 2 == 1) {
                        word += '"';
                        ++pos;
                    }
                    // An even count leaves the quote to the code below.
                } else {
                    word.append(slashes, '\\');
                }
                continue;
            }
            if (c == '"') {
                if (quoted && pos + 1 < end && line[pos + 1] == '"') {
                    word += '"';
                    pos += 2;
                    continue;
                }
                quoted = !quoted;
                ++pos;
                continue;
            }
            if (!quoted && isBlank(c))
                break;
            word += c;
            ++pos;
        }
        words.push_back(std::move(word));
    }
    return words;
}

} // namespace parlet
