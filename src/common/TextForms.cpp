#include "TextForms.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace parlet {

// The C library's number conversions follow the locale that Qt sets from the desktop, which
// may use a comma: every number here goes through <charconv>, which always uses the point.

std::string signNumber(double value) {
    char buffer[40];
    auto written =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, written.ptr);
    if (text == "-0")
        text = "0";
    return text.front() == '-' ? text : " " + text;
}

double numericValue(std::string_view text) {
    std::string number;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
    };
    auto isDigit = [&](std::size_t at) {
        return at < text.size() && text[at] >= '0' && text[at] <= '9';
    };
    skipBlanks();
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        if (text[i++] == '-')
            number += '-';
    bool point = false;
    bool digits = false;
    for (skipBlanks(); i < text.size(); skipBlanks()) {
        if (isDigit(i)) {
            number += text[i++];
            digits = true;
        } else if (text[i] == '.' && !point) {
            number += text[i++];
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t mark = i + 1;
        std::string exponent = "e";
        if (mark < text.size() && (text[mark] == '-' || text[mark] == '+'))
            exponent += text[mark++];
        if (isDigit(mark)) {
            while (isDigit(mark))
                exponent += text[mark++];
            number += exponent;
        }
    }
    double value = 0; // stays 0 when the number is out of range
    std::from_chars(number.data(), number.data() + number.size(), value);
    return std::isfinite(value) ? value : 0;
}

double roundHalfEven(double value) {
    return std::nearbyint(value);
}

std::int16_t toInt16(double value) {
    double rounded = roundHalfEven(value);
    if (!(rounded >= std::numeric_limits<std::int16_t>::min()))
        return rounded > 0 ? std::numeric_limits<std::int16_t>::max()
                           : std::numeric_limits<std::int16_t>::min();
    if (rounded > std::numeric_limits<std::int16_t>::max())
        return std::numeric_limits<std::int16_t>::max();
    return static_cast<std::int16_t>(rounded);
}

std::string hexUpper(std::uint32_t value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", static_cast<unsigned>(value));
    return buffer;
}

namespace {
std::string twoDigits(long long value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "%02lld", value);
    return buffer;
}
} // namespace

std::string timeDisplay(double minutes) {
    long long seconds = static_cast<long long>(std::floor(minutes * 60 + 0.5));
    if (seconds < 0)
        seconds = 0;
    return std::to_string(seconds / 60 % 60) + ":" + twoDigits(seconds % 60);
}

std::string seqTimeDisplay(std::int64_t milliseconds) {
    // Whole seconds played: rounding up would show 59:59.6 as "0:00", still below the hour.
    long long seconds = milliseconds / 1000;
    if (seconds < 0)
        seconds = 0;
    std::string minutesAndSeconds = twoDigits(seconds / 60 % 60) + ":" + twoDigits(seconds % 60);
    if (milliseconds >= 3600000)
        return std::to_string(seconds / 3600 % 24) + ":" + minutesAndSeconds;
    return std::to_string(seconds / 60 % 60) + ":" + twoDigits(seconds % 60);
}

std::string cstr2str(const char *bytes, std::size_t size) {
    std::size_t length = 0;
    while (length < size && bytes[length] != '\0')
        ++length;
    return std::string(bytes, length);
}

std::string trimAtNul(std::string_view text) {
    return std::string(text.substr(0, text.find('\0')));
}

std::string ExtractPath(std::string_view fullPath) {
    std::size_t last = fullPath.find_last_of("\\/");
    return std::string(last == std::string_view::npos ? fullPath : fullPath.substr(0, last));
}

std::string backslashFix(std::string_view path) {
    if (path.substr(0, 2) == "\\\\")
        return "\\\\" + std::string(path);
    return std::string(path);
}

} // namespace parlet
