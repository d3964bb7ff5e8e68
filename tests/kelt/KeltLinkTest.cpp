// The Kelt exchanges against a scripted transducer on a fresh pseudo-terminal
// per test: the test plays the adapter and the transducer byte by byte.

#include <gtest/gtest.h>

#include <future>

#include "common/MathError.h"
#include "comprt/PtyPair.h"
#include "devices/kelt/KeltThread.h"

namespace {

using namespace kelt;
using Bytes = std::vector<std::uint8_t>;

class KeltLinkTest : public testing::Test {
protected:
    void SetUp() override {
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList({m_pty.SlavePath()}));
        m_port.Open(1, 9600, 4500, 0, comprt::DtrControl::Enable, comprt::RtsControl::Disable, 0);
    }

    // Runs one exchange of `param` on another thread; the test answers meanwhile.
    std::future<std::string> start(KeltCommon& param) {
        return std::async(std::launch::async, [this, &param]() -> std::string {
            KeltLink link(m_port, [](std::chrono::milliseconds) {});
            try {
                link.Exchange(param);
            } catch (const UserError& e) {
                return std::string("failed: ") + e.what();
            }
            return "ok";
        });
    }

    std::string finish(std::future<std::string>& result) {
        if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
            m_pty.CloseMaster();
            return "hung";
        }
        return result.get();
    }

    // Whatever arrives within 300 ms.
    Bytes nothingMore() {
        Bytes got;
        pollfd item{m_pty.Master(), POLLIN, 0};
        while (::poll(&item, 1, 300) > 0) {
            std::uint8_t b[64];
            const ssize_t n = ::read(m_pty.Master(), b, sizeof b);
            if (n <= 0) break;
            got.insert(got.end(), b, b + n);
        }
        return got;
    }

    PtyPair m_pty;
    comprt::ComPort m_port;
};

Bytes withSum(Bytes bytes) {
    const std::uint16_t sum = Checksum(bytes);
    bytes.push_back(static_cast<std::uint8_t>(sum >> 8));
    bytes.push_back(static_cast<std::uint8_t>(sum));
    return bytes;
}

KeltBlockValues someValues() {
    KeltBlockValues v;
    v.du = 6;
    v.a = {1.2, 1.1, 1.0, 0.9, 0.8};
    v.b = {0.5, 0.2, 0, -0.1, -0.2};
    v.f = {5, 20, 80, 300};
    v.outputCode = 2;
    v.pulseLength = 2;
    v.temperatureCorrection = 3;
    return v;
}

struct Type3Case {
    int type;
    std::uint8_t command;
    int counterStep;
    int checksumLowering;
};

// Block 3 write on the older protocol: read the block for its counter, then
// write. A type-3 transducer takes command 26, the counter as it was and the
// checksum's low byte lowered by 39; it echoes the unmodified checksum.
TEST_F(KeltLinkTest, Block3WriteFrameByDeviceType) {
    for (const Type3Case c : {Type3Case{3, 26, 0, 39}, Type3Case{4, 25, 1, 0}}) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        KeltCommon param;
        param.model = 7;
        param.sub = kWriteBlock3;
        param.values = someValues();
        auto result = start(param);

        ASSERT_EQ(m_pty.Receive(1), Bytes{15});
        m_pty.Send({15, 1, 2});
        ASSERT_EQ(m_pty.Receive(1), Bytes{8});
        m_pty.Send({8});
        m_pty.Send(withSum({static_cast<std::uint8_t>(c.type)}));
        ASSERT_EQ(m_pty.Receive(1), Bytes{24});
        m_pty.Send({24});
        Bytes stored(36, 0x11);
        stored.push_back(200);  // the counter
        m_pty.Send(withSum(stored));

        const Bytes frame = m_pty.Receive(40);
        ASSERT_EQ(frame.size(), 40u);
        Block3 expectedBlock;
        EncodeBlock3(param.values, 7, expectedBlock);
        EXPECT_EQ(frame[0], c.command);
        EXPECT_TRUE(std::equal(expectedBlock.begin(), expectedBlock.end(), frame.begin() + 1));
        EXPECT_EQ(frame[37], 200 + c.counterStep);
        const std::uint16_t sum = Checksum(std::span(frame).subspan(1, 37));
        EXPECT_EQ(frame[38], sum >> 8) << "no borrow into the high byte";
        EXPECT_EQ(frame[39], static_cast<std::uint8_t>(sum - c.checksumLowering));

        Bytes echo = frame;
        echo[38] = static_cast<std::uint8_t>(sum >> 8);
        echo[39] = static_cast<std::uint8_t>(sum);
        m_pty.Send(echo);
        EXPECT_EQ(finish(result), "ok");
    }
}

TEST_F(KeltLinkTest, EchoOfTheLoweredChecksumIsAnExchangeError) {
    KeltCommon param;
    param.model = 8;
    param.sub = kWriteBlock3;
    param.values = someValues();
    auto result = start(param);
    m_pty.Receive(1);
    m_pty.Send({15, 1, 2});
    m_pty.Receive(1);
    m_pty.Send({8});
    m_pty.Send(withSum({3}));
    m_pty.Receive(1);
    m_pty.Send({24});
    m_pty.Send(withSum(Bytes(37, 0)));
    const Bytes frame = m_pty.Receive(40);
    m_pty.Send(frame);  // the frame exactly as sent: its checksum is the lowered one
    EXPECT_EQ(finish(result), "failed: Ошибка обмена");
}

TEST_F(KeltLinkTest, BusyTransducerFailsWithAnEmptyText) {
    KeltCommon param;
    param.model = 3;
    param.sub = kReadBlock2;
    auto result = start(param);
    ASSERT_EQ(m_pty.Receive(1), Bytes{15});
    m_pty.Send({15, 1, 2});
    ASSERT_EQ(m_pty.Receive(1), Bytes{8});
    m_pty.Send({255});
    EXPECT_EQ(finish(result), "failed: ");
}

TEST_F(KeltLinkTest, AdapterAnswer255ServesModel0ButNotSubCommand23) {
    KeltCommon param;
    param.model = 0;
    param.sub = kSignal;
    auto result = start(param);
    ASSERT_EQ(m_pty.Receive(1), Bytes{15});
    m_pty.Send({255});
    EXPECT_EQ(finish(result), "failed: Адаптер поддерживает только КЕЛТ-ЧИ2-xxx");
    EXPECT_TRUE(nothingMore().empty());

    param.sub = kBattery;
    result = start(param);
    ASSERT_EQ(m_pty.Receive(1), Bytes{15});
    m_pty.Send({255});
    ASSERT_EQ(m_pty.Receive(1), Bytes{5}) << "no identification for the battery";
    m_pty.Send({5});
    m_pty.Send(withSum({4}));
    EXPECT_EQ(finish(result), "ok");
    EXPECT_EQ(param.data[0], 4);
}

TEST_F(KeltLinkTest, OldAdapterVersionRefusesTheSignalRecord) {
    KeltCommon param;
    param.model = 7;
    param.sub = kSignal;
    auto result = start(param);
    m_pty.Receive(1);
    m_pty.Send({15, 1, 1});
    EXPECT_EQ(finish(result), "failed: Адаптер не поддерживает КЕЛТ1(2)-ЧИ2.23-xxx");
}

TEST_F(KeltLinkTest, InvalidValueFailsBeforeAnyByteIsSent) {
    KeltCommon param;
    param.model = 0;
    param.sub = kWriteBlock1;
    param.values = someValues();
    param.values.f[0] = 40000;
    auto result = start(param);
    EXPECT_EQ(finish(result), "failed: Недопустимое значение F12");
    EXPECT_TRUE(nothingMore().empty());
}

struct TypeCase {
    int model;
    std::uint8_t type;
    const char* outcome;
};

TEST_F(KeltLinkTest, NewerProtocolChecksTheTypeAgainstTheModel) {
    const TypeCase cases[] = {
        {11, 5, "failed: Неправильный тип прибора"},
        {12, 9, "failed: Неправильный тип прибора"},
        {18, 4, "failed: Неизвестная версия прибора"},
        {13, 8, "ok"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "model " << c.model << ", type " << int(c.type));
        KeltCommon param;
        param.model = c.model;
        param.sub = 3;  // nothing after the identification
        auto result = start(param);
        if (c.model <= 11) ASSERT_EQ(m_pty.Receive(1), Bytes{255}) << "wake-up byte";
        ASSERT_EQ(m_pty.Receive(1), Bytes{8});
        m_pty.Send({8});
        m_pty.Send(withSum({c.type}));
        EXPECT_EQ(finish(result), c.outcome);
        nothingMore();
    }
}

TEST(KeltSignal, RecordDecoding) {
    // 21.5 °C, satisfactory signal, period 327 -> 100.2 Hz.
    Bytes answer{43, 1, 0x47, 0x01};
    answer = withSum(answer);
    const KeltSignal s = DecodeSignal(std::span<const std::uint8_t, 6>(answer.data(), 6));
    EXPECT_EQ(s.temperature, 21.5);
    EXPECT_EQ(s.flags, 1);
    EXPECT_NEAR(s.frequency, 32768.0 / 327, 1e-9);
    answer[1] = 4;  // no signal: no frequency
    answer = withSum(Bytes(answer.begin(), answer.begin() + 4));
    EXPECT_EQ(DecodeSignal(std::span<const std::uint8_t, 6>(answer.data(), 6)).frequency, 0.0);
    answer[5] ^= 1;
    EXPECT_THROW(DecodeSignal(std::span<const std::uint8_t, 6>(answer.data(), 6)), UserError);
}

}  // namespace
