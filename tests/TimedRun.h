#pragma once
#include <gtest/gtest.h>

namespace parlet::test {

// Runs a timing check until it holds. A run that failed while `watch` saw the system stall (a
// JACK server's late cycles, a process held up under Wine) says nothing about the code and is
// tried again, up to `attempts` runs; a run that failed without a stall fails at once.
template <typename Watch, typename Run>
::testing::AssertionResult timedRun(const Watch &watch, Run run, int attempts = 5) {
    for (int attempt = 1;; ++attempt) {
        const unsigned stalls = watch.stalls();
        if (auto result = run(); result || watch.stalls() == stalls)
            return result;
        else if (attempt == attempts)
            return result << " (the system stalled in each of " << attempts << " runs)";
    }
}

} // namespace parlet::test
