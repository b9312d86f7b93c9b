#pragma once
// Splitting a command line into a program name and its arguments the way a Windows C runtime
// does, so that a line composed for the tool reaches it with the same arguments on every platform.
#include <string>
#include <string_view>
#include <vector>

namespace parlet {

// The first word names the program: it runs to the first blank or tab outside double quotes, and
// its quotes only group (backslashes are taken literally there). The remaining words follow the
// argument rules:
// - blanks and tabs outside double quotes separate arguments; runs of them count as one;
// - a double quote opens or closes a quoted part; inside quotes a doubled quote ("") gives one
//   literal quote and the part stays open;
// - 2n backslashes before a quote give n backslashes and the quote acts as above;
//   2n+1 backslashes before a quote give n backslashes and a literal quote;
// - backslashes not followed by a quote are literal.
// An empty quoted pair ("") gives an empty argument. The result holds the program name first;
// it is empty for a line of blanks only.
std::vector<std::string> splitCommandLine(std::string_view line);

} // namespace parlet
