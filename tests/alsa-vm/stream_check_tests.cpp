#include "stream_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

using namespace alsavm;

namespace {

// Two short messages, then a paused 1000-byte message and a paused 10-byte one.
std::vector<ExpectedMessage> sample()
{
    std::vector<ExpectedMessage> m{{0, {0xB0, 0x7B, 0x00}}, {0, {0xB1, 0x7B, 0x00}}};
    std::vector<std::uint8_t> big(1000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i & 0x7F);
    big.front() = 0xF0;
    big.back() = 0xF7;
    m.push_back({3000, big});
    m.push_back({6000, {0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 0xF7}});
    return m;
}

// Delivers each message at cable speed after its pause plus extraMs.
Received deliver(const std::vector<ExpectedMessage>& messages, double extraMs)
{
    Received r;
    double t = 1.0;
    for (const auto& m : messages) {
        if (m.pauseMs > 0) t += (m.pauseMs + extraMs) / 1000.0;
        for (std::uint8_t b : m.bytes) {
            r.append(&b, 1, t);
            t += 1.0 / 3125;
        }
    }
    return r;
}

} // namespace

TEST(StreamCheck, CompleteStreamWithItsPausesPassesAndMeasuresThePace)
{
    const auto r = checkStream(sample(), deliver(sample(), 5), 20);
    EXPECT_TRUE(r.passed()) << r.detail;
    EXPECT_EQ(r.messagesIntact, 4u);
    EXPECT_NEAR(r.shortestMarginMs, 5, 1);
    EXPECT_NEAR(r.pace, 3125, 5);
}

TEST(StreamCheck, LostMissingOrExtraBytesAreReportedWhereTheyStart)
{
    auto received = deliver(sample(), 5);
    received.bytes.erase(received.bytes.begin() + 500); // one byte inside the block lost
    received.times.erase(received.times.begin() + 500);
    auto r = checkStream(sample(), received, 20);
    EXPECT_FALSE(r.passed());
    EXPECT_EQ(r.firstDifference, 500u);
    EXPECT_EQ(r.messagesIntact, 2u);

    received = deliver(sample(), 5);
    received.append(received.bytes.data(), 1, 99); // a stray byte after the end
    r = checkStream(sample(), received, 20);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.messagesIntact, 4u);

    r = checkStream(sample(), Received{}, 20);
    EXPECT_FALSE(r.complete);
    EXPECT_EQ(r.receivedBytes, 0u);
}

TEST(StreamCheck, AGapShorterThanItsPauseFailsBeyondTheTolerance)
{
    EXPECT_TRUE(checkStream(sample(), deliver(sample(), -15), 20).passed());
    const auto r = checkStream(sample(), deliver(sample(), -100), 20);
    EXPECT_TRUE(r.complete);
    EXPECT_FALSE(r.gapsKept);
    EXPECT_NEAR(r.shortestMarginMs, -100, 1);
}

TEST(StreamCheck, FilesRoundTrip)
{
    const auto dir = std::filesystem::temp_directory_path() / ("alsavm_check_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto expected = sample();
    ASSERT_TRUE(saveExpected(expected, dir / "index.txt", dir / "bytes.bin"));
    std::vector<ExpectedMessage> loaded;
    std::string error;
    ASSERT_TRUE(loadExpected(loaded, dir / "index.txt", dir / "bytes.bin", error)) << error;
    ASSERT_EQ(loaded.size(), expected.size());
    EXPECT_EQ(loaded[2].pauseMs, 3000u);
    EXPECT_EQ(loaded[2].bytes, expected[2].bytes);

    const auto received = deliver(expected, 5);
    ASSERT_TRUE(saveReceived(received, dir / "received.txt"));
    Received back;
    ASSERT_TRUE(loadReceived(back, dir / "received.txt", error)) << error;
    EXPECT_EQ(back.bytes, received.bytes);
    EXPECT_TRUE(checkStream(expected, back, 20).passed());

    std::FILE* bad = std::fopen((dir / "bad.txt").c_str(), "w");
    std::fputs("0.5 f0f\n", bad);
    std::fclose(bad);
    EXPECT_FALSE(loadReceived(back, dir / "bad.txt", error));
    std::filesystem::remove_all(dir);
}
