#include "platform/stream/SmfReader.h"
#include "StreamTestData.h"

#include <gtest/gtest.h>

namespace parlet {
namespace {

using testdata::smf;
using testdata::Track;

TEST(SmfReader, RefusesBrokenFiles) {
    const std::pair<const char *, std::vector<std::uint8_t>> cases[] = {
        {"missing end of track", smf(0, 96, {Track().event(0, {0x90, 1, 1})})},
        {"five-byte delta", smf(0, 96, {Track{{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1}}.end(0)})},
        {"real-time byte", smf(0, 96, {Track().event(0, {0xF8}).end(0)})}};
    for (const auto &[name, bytes] : cases)
        EXPECT_FALSE(readSmf(bytes)) << name;
}

} // namespace
} // namespace parlet
