#pragma once
// The C library's numbers in a German desktop's locale for the life of the object, as Qt sets the
// user's locale at start-up: its decimal separator is a comma. The install step provides the
// locale, so a machine without it fails the test instead of passing it untried.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace parlet::test {

struct CommaLocale final {
    CommaLocale() {
        (void)(std::setlocale(LC_NUMERIC, "de_DE.UTF-8") ||
               std::setlocale(LC_NUMERIC, "German_Germany.1252"));
        EXPECT_STREQ(std::localeconv()->decimal_point, ",") << "de_DE.UTF-8 is not installed";
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, previous.c_str()); }
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
};

} // namespace parlet::test
