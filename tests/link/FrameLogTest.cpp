// The port's frame log: the ring, the readers' "after N", the reply times,
// the sink, and one writer beside one reader.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "link/FrameLog.h"

using framelog::Check;
using framelog::Outcome;
using framelog::Verdict;

namespace {

std::vector<std::uint8_t> bytesOf(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
    return out;
}

std::vector<std::uint64_t> seqs(const std::vector<framelog::Frame>& frames) {
    std::vector<std::uint64_t> out;
    for (const auto& f : frames) out.push_back(f.seq);
    return out;
}

TEST(FrameLog, ARingOfFiveKeepsTheNewestFiveInOrder) {
    FrameLog log("p", 5);
    for (int i = 0; i < 12; ++i) log.Sent("запрос", bytesOf({i}));
    EXPECT_EQ(log.LastSeq(), 12u);
    EXPECT_EQ(log.Size(), 5u);
    const auto all = log.Since(0);
    EXPECT_EQ(seqs(all), (std::vector<std::uint64_t>{8, 9, 10, 11, 12}));
    EXPECT_EQ(all.front().bytes, bytesOf({7}));
    EXPECT_EQ(all.back().bytes, bytesOf({11}));
    // A reader that has up to 10 takes only what is new; a limit takes the
    // oldest of the new ones.
    EXPECT_EQ(seqs(log.Since(10)), (std::vector<std::uint64_t>{11, 12}));
    EXPECT_EQ(seqs(log.Since(3, 2)), (std::vector<std::uint64_t>{8, 9}));
    EXPECT_TRUE(log.Since(12).empty());
    EXPECT_TRUE(log.Since(99).empty());
}

TEST(FrameLog, ClearForgetsTheFramesButNotTheNumbering) {
    FrameLog log("p", 3);
    for (int i = 0; i < 4; ++i) log.Sent("a", bytesOf({i}));
    log.Clear();
    EXPECT_EQ(log.Size(), 0u);
    EXPECT_TRUE(log.Since(0).empty());
    log.Sent("a", bytesOf({9}));
    const auto after = log.Since(0);
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].seq, 5u);
    EXPECT_EQ(after[0].bytes, bytesOf({9}));
}

TEST(FrameLog, ReceivedFramesCarryTheVerdictAndTheTimeSinceTheRequest) {
    FrameLog log("p");
    log.Opened();
    log.Received("before", {}, {Check::None, Outcome::Silent});  // nothing sent yet
    log.Sent("чтение", bytesOf({0x01, 0x41}));
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    log.Received("чтение", bytesOf({0x01, 0xc1, 0x02}), {Check::Good, Outcome::DeviceError});
    const auto f = log.Since(0);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0].replyUs, -1);
    EXPECT_EQ(f[1].dir, framelog::Direction::Tx);
    EXPECT_EQ(f[1].replyUs, -1);
    EXPECT_EQ(f[1].outcome, Outcome::None);
    EXPECT_EQ(f[2].dir, framelog::Direction::Rx);
    EXPECT_GE(f[2].replyUs, 3000);
    EXPECT_EQ(f[2].tUs - f[1].tUs, f[2].replyUs);
    EXPECT_STREQ(f[2].name, "чтение");
    EXPECT_EQ(f[2].Hex(), "01 c1 02");
    EXPECT_TRUE(f[2].Fault());
    EXPECT_FALSE(f[1].Fault());
    // Opening again restarts the clock.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    log.Opened();
    log.Sent("x", bytesOf({1}));
    EXPECT_LT(log.Since(3)[0].tUs, f[2].tUs + 5000);
}

TEST(FrameLog, ASwitchedOffLogRecordsNothing) {
    FrameLog log("p");
    log.SetEnabled(false);
    log.Sent("a", bytesOf({1}));
    EXPECT_EQ(log.LastSeq(), 0u);
    log.SetEnabled(true);
    log.Sent("a", bytesOf({1}));
    EXPECT_EQ(log.LastSeq(), 1u);
}

TEST(FrameLog, OneLogPerPortNameForTheWholeProgram) {
    const auto a = FrameLog::Of("/dev/frame-log-test-a");
    EXPECT_EQ(FrameLog::Of("/dev/frame-log-test-a"), a);
    EXPECT_NE(FrameLog::Of("/dev/frame-log-test-b"), a);
    EXPECT_EQ(a->Port(), "/dev/frame-log-test-a");
    EXPECT_EQ(a->Capacity(), FrameLog::kCapacity);
}

TEST(FrameLog, TheSinkSeesEveryFrameWithItsPort) {
    struct Collect : framelog::Sink {
        std::vector<std::pair<std::string, std::string>> seen;
        void Recorded(const std::string& port, const framelog::Frame& f) override { seen.emplace_back(port, f.Hex()); }
    } sink;
    FrameLog log("/dev/x");
    FrameLog::SetSink(&sink);
    log.Sent("a", bytesOf({0xab}));
    log.Received("a", {}, {Check::None, Outcome::Silent});
    FrameLog::SetSink(nullptr);
    log.Sent("a", bytesOf({1}));
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[0], (std::pair<std::string, std::string>{"/dev/x", "ab"}));
    EXPECT_EQ(sink.seen[1].second, "");
}

TEST(FrameLog, AReaderPollingBesideTheWriterSeesEveryNumberOnceInOrder) {
    FrameLog log("p", 64);
    constexpr std::uint64_t kFrames = 20000;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        std::uint8_t b[3] = {1, 2, 3};
        for (std::uint64_t i = 0; i < kFrames; ++i) log.Sent("w", b);
        done = true;
    });
    std::uint64_t last = 0;
    std::uint64_t taken = 0;
    bool ordered = true;
    while (!done || last < log.LastSeq()) {
        for (const auto& f : log.Since(last)) {
            ordered = ordered && f.seq > last && f.bytes.size() == 3;
            last = f.seq;
            ++taken;
        }
    }
    writer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(last, kFrames);
    EXPECT_GT(taken, 0u);
}

struct JudgeCase {
    const char* what;
    std::size_t received, expected;
    bool checkGood, deviceError;
    Verdict verdict;
};

TEST(FrameLogJudge, LengthComesBeforeTheCheckAndTheDeviceError) {
    const JudgeCase kCases[] = {
        {"nothing", 0, 8, false, false, {Check::None, Outcome::Silent}},
        {"part", 3, 8, true, false, {Check::Short, Outcome::Short}},
        {"part of an error reply", 3, 8, false, true, {Check::Short, Outcome::Short}},
        {"whole, check fails", 8, 8, false, false, {Check::Bad, Outcome::BadCheck}},
        {"whole, device error", 5, 5, true, true, {Check::Good, Outcome::DeviceError}},
        {"whole, good", 8, 8, true, false, {Check::Good, Outcome::Answered}},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(framelog::Judge(c.received, c.expected, c.checkGood, c.deviceError), c.verdict) << c.what;
}

}  // namespace
