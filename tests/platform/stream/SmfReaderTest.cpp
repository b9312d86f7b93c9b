#include "platform/stream/SmfReader.h"
#include "StreamTestData.h"

#include <gtest/gtest.h>

namespace parlet {
namespace {

using testdata::smf;
using testdata::Track;

TEST(SmfReader, RefusesBrokenFiles) {
    Track good;
    good.event(0, {0x90, 1, 1}).end(0);
    auto valid = smf(0, 96, {good});
    ASSERT_TRUE(readSmf(valid));

    struct Case {
        const char *name;
        std::vector<std::uint8_t> bytes;
    };
    auto patched = [&](std::size_t at, std::uint8_t value, std::size_t count = 1) {
        auto bytes = valid;
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(at), count, value);
        return bytes;
    };
    std::vector<Case> cases{
        {"not a header", patched(0, 'X')},
        {"format 2", patched(9, 2)},
        {"no track", std::vector<std::uint8_t>(valid.begin(), valid.begin() + 14)},
        {"missing end of track", smf(0, 96, {Track().event(0, {0x90, 1, 1})})},
        {"data without status", smf(0, 96, {Track().event(0, {0x40, 1}).end(0)})},
        {"data byte with top bit", smf(0, 96, {Track().event(0, {0x90, 0x80, 1}).end(0)})},
        {"five-byte delta", smf(0, 96, {Track{{0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 1, 1}}.end(0)})},
        {"real-time byte", smf(0, 96, {Track().event(0, {0xF8}).end(0)})},
    };
    for (const auto &c : cases)
        EXPECT_FALSE(readSmf(c.bytes)) << c.name;
}

} // namespace
} // namespace parlet
