// The RV page's controller over a worker that is never started: every post
// stays in the ring, the test takes the oldest request from Front(), checks
// the frame the page built and hands a reply (or a failure) back as the
// worker would, then lets the controller handle it.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestSupport.h"
#include "devices/Bytes.h"
#include "devices/rv/RvPageController.h"

namespace {

using devtest::messages;
using devtest::withSeparator;
using rv::RvPageController;
using Lamp = RvPageController::Lamp;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

struct Request {
    std::int32_t code = -1;
    std::uint8_t function = 0, reg = 0;
    Bytes data;
    std::int32_t expected = 0;
};

struct RvController : ::testing::Test {
    ScopedLocale dot{withSeparator('.')};
    Console console;
    rv::RvPageState page;
    RVx2Thread worker;  // not started
    RvPageController c{page, worker, console};

    // The oldest pending request as the worker would see it.
    Request front() {
        const RVx2Common& p = worker.Front().param;
        Request r;
        r.code = worker.Front().code;
        if (r.code == rv::kExchange || r.code == rv::kQuietExchange) {
            const std::uint8_t* f = p.buffer();
            r.function = f[1];
            r.reg = f[2];
            r.data.assign(f + 3, f + p.requestLength() - 2);
            r.expected = p.replyLength();
        }
        return r;
    }
    // Answers the oldest request with `data` in a reply of the meter.
    PageResult reply(const Bytes& data) {
        RVx2Common& p = worker.Front().param;
        const std::uint8_t fn = p.buffer()[1], reg = p.buffer()[2];
        rv::FrameBuffer frame{};
        std::copy(data.begin(), data.end(), frame.begin() + 3);
        const std::size_t n = rv::buildFrame(frame, 1, fn, reg, data.size());
        std::memcpy(p.buffer(), frame.data(), frame.size());
        p.setReplyLength(static_cast<std::int32_t>(n));
        return c.HandleResult(true);
    }
    PageResult fail(const std::string& error) {
        worker.Front().error = error;
        return c.HandleResult(false);
    }
    void openPort() {
        c.OpenPortButtonClick();
        ASSERT_EQ(front().code, rv::kOpenPort);
        c.HandleResult(true);
        ASSERT_TRUE(c.portOpen());
    }
    void drain() {
        while (worker.Pending() > 0) fail("x");
        console.clear();
    }
    static Bytes current(std::size_t length, std::uint8_t status, float sum, std::uint16_t count,
                         std::uint32_t pulses, float flow, std::uint32_t noise = 0) {
        Bytes d(length, 0);
        d[0] = status;
        bytes::putF32(d.data() + 1, sum);
        d[5] = static_cast<std::uint8_t>(count);
        d[6] = static_cast<std::uint8_t>(count >> 8);
        bytes::putI32(d.data() + 7, static_cast<std::int32_t>(pulses));
        bytes::putF32(d.data() + 11, flow);
        if (length >= 19) bytes::putI32(d.data() + 15, static_cast<std::int32_t>(noise));
        return d;
    }
    static Bytes system(std::uint8_t high, std::uint8_t low) { return {0, 0, high, low, 0x4E, 0x61, 0xBC, 0, 2}; }
};

TEST_F(RvController, OpeningQueuesSevenReadsAndABusyQueueDropsThePollQuietly) {
    c.setPortIndex(2);
    c.setSpeedIndex(1);
    c.OpenPortButtonClick();
    const RVx2Common& open = worker.Front().param;
    EXPECT_EQ(open.port(), 3);
    EXPECT_EQ(open.speed(), 4800);
    EXPECT_FALSE(c.portOpen());
    c.HandleResult(true);
    EXPECT_TRUE(c.portOpen());
    // The reverse table is not among them: the version is not known yet.
    EXPECT_EQ(worker.Pending(), 7);
    for (int tick = 0; tick < RvPageController::kSystemPollTicks; ++tick) c.SystemTimerTimer();
    EXPECT_EQ(worker.Pending(), 7);

    // The whole reply frame each read asks the worker for: address, function
    // and register, the register's data, CRC-16: data + 5 bytes.
    const std::uint8_t regs[] = {rv::RegSystem, rv::RegFirmwareSum, rv::RegOutputs, rv::RegCalibration,
                                 rv::RegAddress, rv::RegIntegrator, rv::RegEmptyPipe};
    const std::int32_t lengths[] = {
        9 + 5,   // SystemBlock
        7 + 5,   // firmware checksum
        6 + 5,   // OutputsBlock
        64 + 5,  // CalibrationBlock
        1 + 5,   // address byte
        1 + 5,   // integrator byte
        13 + 5,  // EmptyPipeBlock
    };
    for (std::size_t i = 0; i < std::size(regs); ++i) {
        const Request r = front();
        EXPECT_EQ(r.code, rv::kExchange);
        EXPECT_EQ(r.function, rv::FnRead);
        EXPECT_EQ(r.reg, regs[i]);
        EXPECT_TRUE(r.data.empty());
        EXPECT_EQ(r.expected, lengths[i]);
        fail("Прибор не отвечает");
    }
    // Every failed read is reported once.
    EXPECT_EQ(messages(console), Texts(7, "Прибор не отвечает"));
}

TEST_F(RvController, PollsFollowTheTimerTheVersionAndTheObservationBox) {
    openPort();
    reply(system(3, 3));
    drain();
    for (int tick = 1; tick < RvPageController::kSystemPollTicks; ++tick) c.SystemTimerTimer();
    EXPECT_EQ(worker.Pending(), 0);  // no readings while Observation is unchecked
    c.SystemTimerTimer();
    ASSERT_EQ(worker.Pending(), 1);
    Request r = front();
    EXPECT_EQ(r.code, rv::kQuietExchange);
    EXPECT_EQ(r.reg, rv::RegCurrent);
    EXPECT_EQ(r.data, Bytes{3});
    EXPECT_EQ(r.expected, 44);
    // A failed poll says nothing.
    fail("Прибор не отвечает");
    EXPECT_TRUE(console.lines().empty());

    c.setObservation(true);
    for (int tick = 0; tick < 8; ++tick) c.SystemTimerTimer();
    ASSERT_EQ(worker.Pending(), 2);
    EXPECT_EQ(front().reg, rv::RegObservation);
    reply({0x01, 0x10, 0x27, 0, 0});
    EXPECT_EQ(c.live().lastReading, 10000);
    EXPECT_EQ(c.statusLamp(0), Lamp::Olive);
    fail("x");

    // Closed: nothing is polled.
    c.OpenPortButtonClick();
    EXPECT_EQ(front().code, rv::kClosePort);
    c.HandleResult(true);
    EXPECT_FALSE(c.portOpen());
    for (int tick = 0; tick < 60; ++tick) c.SystemTimerTimer();
    EXPECT_EQ(worker.Pending(), 0);
}

TEST_F(RvController, CurrentValuesByLengthAndCount) {
    struct Case {
        const char* name;
        std::size_t length;
        float sum;
        std::uint16_t count;
        std::uint32_t noise;
        const char* middleCode;
        const char* middleNoise;
        const char* noiseSignal;
        bool full;
    };
    const Case cases[] = {
        {"15 bytes empty the noise and volume fields", 15, 1000.0f, 4, 0, "250", "", "", false},
        {"a zero summed code", 19, 0.0f, 5, 7, "0", "1", "0", false},
        {"noise share of the code", 19, 1000.0f, 4, 30, "250", "7", "3 %", false},
        {"no measurements", 39, 0.0f, 0, 9, "0", "", "", true},
    };
    openPort();
    drain();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        // Stale texts of a longer reply must go.
        c.live().middleNoise = c.live().workTime = c.live().volumeDir = c.live().volumeRev = "old";
        for (int tick = 0; tick < RvPageController::kSystemPollTicks; ++tick) c.SystemTimerTimer();
        Bytes d = current(k.length, 0, k.sum, k.count, 42, 1.25f, k.noise);
        if (k.length >= 39) {
            bytes::putI32(d.data() + 19, 90061);
            bytes::putI32(d.data() + 23, 12);
            bytes::putF32(d.data() + 27, 0.5f);
        }
        reply(d);
        EXPECT_EQ(c.live().middleCode, k.middleCode);
        EXPECT_EQ(c.live().middleNoise, k.middleNoise);
        EXPECT_EQ(c.live().noiseSignal, k.noiseSignal);
        EXPECT_EQ(c.live().nMeasure, std::to_string(k.count));
        EXPECT_EQ(c.live().impulseVolume, "42");
        EXPECT_EQ(c.live().expenditure, "1.25");
        EXPECT_EQ(c.live().workTime, k.full ? "00025:01:01" : "");
        EXPECT_EQ(c.live().volumeDir, k.full ? "00000012.500" : "");
        EXPECT_EQ(c.live().volumeRev, k.full ? "00000000.000" : "");
    }
    // The count of 0 left the mean an entry takes at its last value.
    EXPECT_EQ(page.meanCode(), 250.0);
    EXPECT_EQ(page.lastPulseCounter(), 42);
    EXPECT_TRUE(console.lines().empty());
}

TEST_F(RvController, MeanderWeightIsHalvedOnTheWireAndPulsesHalvedOnThePage) {
    openPort();
    drain();
    page.setImpulseWeightText("0.001");
    page.setMeandr(true);
    page.selectPluginCard(0);
    c.SetImpulseOutClick();
    Request r = front();
    EXPECT_EQ(r.function, rv::FnWrite);
    EXPECT_EQ(r.reg, rv::RegOutputs);
    ASSERT_EQ(r.data.size(), 6u);
    EXPECT_FLOAT_EQ(bytes::getF32(r.data.data()), 0.0005f);
    EXPECT_EQ(r.data[4], 0);
    reply({});
    EXPECT_EQ(messages(console), Texts{"Параметры внещних выходов установлены"});

    // Read back: the page shows the counted weight and halves the counter.
    page.setMeandr(false);
    c.SimpleCommand(RvPageController::Command::ReadImpulseOut);
    Bytes block(6, 0);
    bytes::putF32(block.data(), 0.0005f);
    reply(block);
    EXPECT_EQ(page.impulseWeightText(), "0.001");
    EXPECT_TRUE(page.meandr());
    for (int tick = 0; tick < RvPageController::kSystemPollTicks; ++tick) c.SystemTimerTimer();
    reply(current(15, 0, 0, 0, 101, 0));
    EXPECT_EQ(c.live().impulseVolume, "50");
    EXPECT_EQ(c.live().volume, "50");  // litres at 1 l per counted pulse
    EXPECT_EQ(page.lastPulseCounter(), 50);

    // Strict reading stops before anything is sent.
    page.setImpulseWeightText("abc");
    EXPECT_THROW(c.SetImpulseOutClick(), UserError);
    EXPECT_EQ(worker.Pending(), 0);
}

TEST_F(RvController, VersionDecidesTheReverseTableAndItsRead) {
    openPort();
    reply(system(3, 5));
    EXPECT_EQ(c.live().version, "3.5");
    EXPECT_EQ(page.serial(), "012345678");  // diameter code 2 is below 8
    EXPECT_EQ(page.diameter().index(), 2);
    EXPECT_TRUE(page.reverseSheetVisible());
    EXPECT_TRUE(page.reverseTypeVisible());
    reply({0x5A, 0xA5, 0, 0, 0, 0, 0});
    EXPECT_EQ(c.live().crcPO, "0xA55A");
    drain();
    c.SimpleCommand(RvPageController::Command::ReadCalibr);
    ASSERT_EQ(worker.Pending(), 2);
    EXPECT_EQ(front().reg, rv::RegCalibration);
    fail("x");
    EXPECT_EQ(front().reg, rv::RegReverseCalibration);
    drain();

    // A 2.1 meter: the reverse mode goes, the reverse tab stays.
    page.selectReverseType(1);
    c.SimpleCommand(RvPageController::Command::ReadParam);
    reply(system(2, 1));
    EXPECT_EQ(c.live().version, "2.1");
    EXPECT_FALSE(page.reverseTypeVisible());
    EXPECT_EQ(page.reverseType().index(), -1);
    EXPECT_TRUE(page.reverseSheetVisible());
    drain();
    c.SimpleCommand(RvPageController::Command::ReadCalibr);
    EXPECT_EQ(worker.Pending(), 1);
}

TEST_F(RvController, CommandsSendThePageData) {
    using Command = RvPageController::Command;
    openPort();
    drain();
    c.netAddress().setValue(17);
    c.flowIntegrator().setValue(33);
    c.setStartStopMode(2);
    c.noiseCancelStSt().setValue(9);
    page.setCell(rv::CalibrGrid::Reverse, 1, 2, "-1.5");
    c.setActiveSheet(rv::CalibrGrid::Reverse);
    struct Case {
        Command command;
        std::uint8_t function, reg;
        Bytes data;
        std::int32_t expected;
    };
    Bytes reverse(64, 0);
    bytes::putF32(reverse.data(), -1.5f);
    // Expected reply frames: the work time's 9 data bytes + 5; a write's
    // confirmation echoes address, function and register with no data: 5.
    const Case cases[] = {
        {Command::Advanced_Info, rv::FnRead, rv::RegWorkTime, {}, 9 + 5},
        {Command::SetNetAddr, rv::FnWrite, rv::RegAddress, {17}, 5},
        {Command::SetIntegrator, rv::FnWrite, rv::RegIntegrator, {33}, 5},
        {Command::SetStSt, rv::FnWrite, rv::RegStartStop, {2, 9}, 5},
        {Command::ClearMeasure, rv::FnWrite, rv::RegClearCurrent, Bytes(20, 0), 5},
        {Command::SetCalibr, rv::FnWrite, rv::RegReverseCalibration, reverse, 5},
    };
    for (const Case& k : cases) {
        c.SimpleCommand(k.command);
        const Request r = front();
        EXPECT_EQ(r.function, k.function);
        EXPECT_EQ(r.reg, k.reg);
        EXPECT_EQ(r.data, k.data);
        EXPECT_EQ(r.expected, k.expected);
        fail("x");
    }
    EXPECT_EQ(c.noiseStStLabel(), "7.2 мс");
}

TEST_F(RvController, StatusPanelsAndTheirClicks) {
    openPort();
    drain();
    struct Case {
        std::uint8_t status;
        std::array<Lamp, 6> lamps;
    };
    const Case cases[] = {
        {0x00, {Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Off}},
        {0x23, {Lamp::Olive, Lamp::Olive, Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Red}},
        {0x04, {Lamp::Off, Lamp::Off, Lamp::Olive, Lamp::Off, Lamp::Off, Lamp::Off}},
        {0x08, {Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Olive, Lamp::Off, Lamp::Off}},
        {0x0C, {Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Off, Lamp::Olive, Lamp::Off}},
    };
    for (const Case& k : cases) {
        c.PanelClick(1);
        reply({k.status});
        for (int bit = 0; bit < 6; ++bit) EXPECT_EQ(c.statusLamp(bit), k.lamps[bit]) << int(k.status) << " bit " << bit;
    }
    // Bit0 lit: the click clears status bit 0.
    c.PanelClick(1);
    reply({0x01});
    c.PanelClick(0);
    EXPECT_EQ(front().data, (Bytes{1, 2}));
    EXPECT_EQ(front().expected, 6);
    reply({0x00});
    c.PanelClick(0);
    EXPECT_EQ(front().data, (Bytes{1, 1}));
    EXPECT_EQ(messages(console).back(), "Регистр статуса обновлен");
}

TEST_F(RvController, EmptyPipeTest) {
    openPort();
    drain();
    c.SimpleCommand(RvPageController::Command::ReadTestEmptyPipe);
    reply({1, 0xE8, 0x03, 0, 0, 0x64, 0, 0x0A, 0, 0x14, 0, 8, 2});
    EXPECT_TRUE(c.live().disableEmptyPipe);
    EXPECT_EQ(c.live().tepCode, "1000");
    EXPECT_EQ(c.live().tepHysteresis, "2");

    for (const char* bad : {"1.5", "70000", ""}) {
        c.live().tepNoize = bad;
        c.SetTestEmptyPipeClick();
        EXPECT_EQ(worker.Pending(), 0) << bad;
    }
    EXPECT_EQ(messages(console).back(), RvPageController::kBadEmptyPipe);

    c.live().middleCode = "12345.7";
    c.live().middleNoise = "40";
    c.CopyTestEmptyPipeClick();
    EXPECT_EQ(c.live().tepCode, "12345");
    EXPECT_EQ(c.live().tepNoize, "40");
    c.SetTestEmptyPipeClick();
    EXPECT_EQ(front().data, (Bytes{1, 0x39, 0x30, 0, 0, 40, 0, 0x0A, 0, 0x14, 0, 8, 2}));

    // The copy stops at the field that is not a number.
    c.live().middleCode = "7";
    c.live().middleNoise = "";
    EXPECT_THROW(c.CopyTestEmptyPipeClick(), UserError);
    EXPECT_EQ(c.live().tepCode, "7");
    EXPECT_EQ(c.live().tepNoize, "40");
}

TEST_F(RvController, LampsStayLitUntilTheSecondTick) {
    EXPECT_EQ(c.txLamp(), Lamp::Green);
    c.Activity(1);
    EXPECT_EQ(c.txLamp(), Lamp::Yellow);
    EXPECT_EQ(c.rxLamp(), Lamp::Green);
    c.SystemTimerTimer();
    c.Activity(0);
    EXPECT_EQ(c.txLamp(), Lamp::Yellow);
    c.SystemTimerTimer();
    EXPECT_EQ(c.txLamp(), Lamp::Green);
    EXPECT_EQ(c.rxLamp(), Lamp::Yellow);
    c.SystemTimerTimer();
    EXPECT_EQ(c.rxLamp(), Lamp::Green);
}

TEST_F(RvController, FailedOpenAndDamagedReply) {
    c.OpenPortButtonClick();
    fail("COM-порт не открыт");
    EXPECT_FALSE(c.portOpen());
    EXPECT_EQ(messages(console), Texts{"COM-порт не открыт"});
    openPort();
    drain();
    // A reply with a wrong CRC is dropped without a word.
    c.SimpleCommand(RvPageController::Command::GetNetAddr);
    RVx2Common& p = worker.Front().param;
    p.buffer()[0] = 1;
    p.buffer()[1] = rv::FnRead;
    p.buffer()[3] = 9;
    p.buffer()[4] = 0;
    p.buffer()[5] = 0;
    p.setReplyLength(6);
    c.HandleResult(true);
    EXPECT_TRUE(console.lines().empty());
    EXPECT_EQ(c.netAddress().value(), 1);
}

}  // namespace
