#pragma once
// The text forms shared by every window: numbers as the tool and the devices expect them,
// numeric values of field texts, times, and the small path helpers.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace parlet {

// Decimal with a blank in the sign place when not negative: 1 -> " 1", -1 -> "-1",
// 156.25 -> " 156.25". At most 15 significant digits, no trailing zeros, '.' as the point.
std::string signNumber(double value);

// The leading number of a text, blanks ignored, 0 when there is none: "  12abc" -> 12,
// "1 2" -> 12, "-3.5" -> -3.5, "x" -> 0.
double numericValue(std::string_view text);

// Rounded to the nearest integer, halves to even (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Rounded as above and clamped to the 16-bit signed range, so that 99999 becomes 32767.
std::int16_t toInt16(double value);

// Upper-case hexadecimal without leading zeros: 0x1FF -> "1FF".
std::string hexUpper(std::uint32_t value);

// A duration in minutes as m:ss: minutes within the hour, seconds rounded half up.
// 0 -> "0:00", 2.5 -> "2:30", 61.5 -> "1:30".
std::string timeDisplay(double minutes);

// The sequencer's position form in whole seconds: "n:ss" below an hour, "h:nn:ss" from an hour
// on. 65000 -> "1:05", 3725000 -> "1:02:05", 3599999 -> "59:59".
std::string seqTimeDisplay(std::int64_t milliseconds);

// The characters up to the first zero byte, or all `size` of them.
std::string cstr2str(const char *bytes, std::size_t size);

// The text before the first NUL character (all of it when there is none).
std::string trimAtNul(std::string_view text);

// The text before the last path separator ('\\' or '/'); the path itself when it has none.
// "C:\\data\\a.ocf" -> "C:\\data", "C:\\a.ocf" -> "C:", "a.ocf" -> "a.ocf".
std::string ExtractPath(std::string_view fullPath);

// A network path (two leading backslashes) gets two more, so that it begins with four.
std::string backslashFix(std::string_view path);

} // namespace parlet
