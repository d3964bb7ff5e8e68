// Validation and dispatch of RV replies: which messages reach the console,
// in which order, and which replies are dropped.

#include <gtest/gtest.h>

#include <vector>

#include "devices/Bytes.h"
#include "devices/rv/Crc16.h"
#include "devices/rv/RvReplies.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using rv::ReplyOutcome;

Bytes frame(std::uint8_t fn, std::uint8_t reg, Bytes data) {
    Bytes f{1, fn, reg};
    f.insert(f.end(), data.begin(), data.end());
    const std::uint16_t crc = rv::Crc16(f);
    f.push_back(static_cast<std::uint8_t>(crc));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    return f;
}

struct Recorder : rv::ReplyHandler {
    std::vector<std::string> calls;
    bool throwOnOutputs = false;
    rv::CurrentValuesBlock lastCurrent;
    void system(const rv::SystemBlock& b) override { calls.push_back("system " + std::to_string(b.serial)); }
    void calibration(rv::CalibrGrid g, const rv::CalibrationBlock&) override {
        calls.push_back(g == rv::CalibrGrid::Direct ? "direct" : "reverse");
    }
    void outputs(const rv::OutputsBlock&) override {
        if (throwOnOutputs) throw std::range_error("bad weight");
        calls.push_back("outputs");
    }
    void status(std::uint8_t s) override { calls.push_back("status " + std::to_string(s)); }
    void address(std::uint8_t a) override { calls.push_back("address " + std::to_string(a)); }
    void current(const rv::CurrentValuesBlock& b) override {
        lastCurrent = b;
        calls.push_back("current");
    }
    void written(std::uint8_t reg) override { calls.push_back("written " + std::to_string(reg)); }
};

struct Dispatched {
    rv::ReplyResult result;
    std::vector<std::string> console;
    std::vector<std::string> calls;
};

Dispatched dispatch(const Bytes& reply, Recorder handler = {}, std::size_t count = 0) {
    rv::FrameBuffer buffer{};
    std::copy(reply.begin(), reply.end(), buffer.begin());
    Console console;
    std::vector<std::string> lines;
    console.setListener([&lines](const std::string& t) { lines.push_back(t); });
    const auto r = rv::dispatchReply(buffer, count ? count : reply.size(), handler, console);
    return {r, lines, handler.calls};
}

Bytes systemData(std::uint8_t high, std::uint8_t low) {
    Bytes d(9, 0);
    d[2] = high;
    d[3] = low;
    bytes::putU32(d.data() + 4, 42);
    return d;
}

struct Dropped {
    const char* why;
    Bytes reply;
    ReplyOutcome outcome;
    std::vector<std::string> console;
};

TEST(RvReplies, BadRepliesAreDroppedOrReported) {
    Bytes badCrc = frame(0x41, 5, {7});
    badCrc.back() ^= 1;
    Bytes badErrorCrc = frame(0xC1, 6, {});
    badErrorCrc[4] ^= 1;
    Bytes poll = frame(0x41, 8, Bytes(15, 0));
    poll[5] ^= 0x10;
    const Dropped kDropped[] = {
        {"wrong CRC", badCrc, ReplyOutcome::BadCrc, {}},
        {"wrong CRC of a polled register", poll, ReplyOutcome::BadCrc, {}},
        {"fewer than five bytes", {1, 0x41, 5, 0}, ReplyOutcome::BadCrc, {}},
        {"error reply with a wrong CRC", badErrorCrc, ReplyOutcome::BadErrorReply, {}},
        {"unknown function", frame(0x42, 5, {7}), ReplyOutcome::UnknownFunction, {}},
        {"register 1 is never sent", frame(0x41, 1, {7}), ReplyOutcome::UnknownRegister, {}},
        {"register 20", frame(0x41, 20, {7}), ReplyOutcome::UnknownRegister, {}},
        {"calibration with 63 bytes", frame(0x41, 2, Bytes(63, 0)), ReplyOutcome::BadLength,
         {"Неверная длина данных принятого пакета"}},
        {"reverse calibration with 65 bytes", frame(0x41, 18, Bytes(65, 0)), ReplyOutcome::BadLength,
         {"Неверная длина данных принятого пакета"}},
        {"system with 8 bytes", frame(0x41, 0, Bytes(8, 0)), ReplyOutcome::BadLength,
         {"Неверная длина данных принятого пакета"}},
    };
    for (const auto& c : kDropped) {
        SCOPED_TRACE(c.why);
        const Dispatched d = dispatch(c.reply);
        EXPECT_EQ(d.result.outcome, c.outcome);
        EXPECT_EQ(d.console, c.console);
        EXPECT_TRUE(d.calls.empty());
    }
}

TEST(RvReplies, ErrorRepliesByCode) {
    const std::pair<std::uint8_t, const char*> kCodes[] = {
        {0, "Общая ошибка(без конкретизации причины)"},
        {1, "Недопустимый(неподдерживаемый) номер функции"},
        {2, "Недопустимый(неверный) номер регистра"},
        {3, "Недопустимое значение в поле данных"},
        {4, "Внутренняя ошибка прибора"},
        {5, "Общая ошибка(без конкретизации причины)"},
        {6, "Устройство занято"},
        {7, "Доступ к регистру закрыт"},
        {8, "Общая ошибка(без конкретизации причины)"},
        {255, "Общая ошибка(без конкретизации причины)"},
    };
    for (const auto& [code, text] : kCodes) {
        // Checked over three bytes whatever number arrived: two stray bytes after it.
        Bytes reply = frame(0xC8, code, {});
        reply.push_back(0x11);
        reply.push_back(0x22);
        const Dispatched d = dispatch(reply);
        EXPECT_EQ(d.result.outcome, ReplyOutcome::ErrorReply);
        EXPECT_EQ(d.console, std::vector<std::string>{text}) << int(code);
    }
}

TEST(RvReplies, ReadMessagesAndLengthRules) {
    struct Good {
        const char* why;
        Bytes reply;
        std::vector<std::string> console;
        std::vector<std::string> calls;
    };
    Bytes workTime(9, 0);
    bytes::putU32(workTime.data() + 4, 90061);
    const Good kGood[] = {
        {"system", frame(0x41, 0, systemData(3, 5)), {"Системные параметры считаны"}, {"system 42"}},
        {"version 4.0", frame(0x41, 0, systemData(4, 0)),
         {"Неизвестная версия прибора", "Системные параметры считаны"}, {"system 42"}},
        {"version x.7", frame(0x41, 0, systemData(1, 7)),
         {"Неизвестная версия прибора", "Системные параметры считаны"}, {"system 42"}},
        {"address with 2 bytes is applied anyway", frame(0x41, 5, {9, 0}),
         {"Неверная длина данных принятого пакета", "Сетевой адрес считан"}, {"address 9"}},
        {"outputs", frame(0x41, 3, Bytes(6, 0)), {"Параметы внешних выходов считаны"}, {"outputs"}},
        {"reverse table", frame(0x41, 18, Bytes(64, 0)),
         {"Реверсивные калибровочные коэффициенты успешно считаны"}, {"reverse"}},
        {"work time", frame(0x41, 9, workTime), {"Время непрерывной работы 1 суток 1 часов 1 минут"}, {}},
        {"current values write no message", frame(0x41, 8, Bytes(15, 0)), {}, {"current"}},
        {"status write confirmation", frame(0x48, 4, {3}), {"Регистр статуса обновлен"},
         {"status 3", "written 4"}},
        {"outputs write confirmation", frame(0x48, 3, {}), {"Параметры внещних выходов установлены"},
         {"written 3"}},
        {"clear current", frame(0x48, 17, {}), {"Текущие параметры обнулены"}, {"written 17"}},
        {"a write of register 0 has no message", frame(0x48, 0, {}), {}, {"written 0"}},
    };
    for (const auto& c : kGood) {
        SCOPED_TRACE(c.why);
        const Dispatched d = dispatch(c.reply);
        EXPECT_EQ(d.result.outcome, ReplyOutcome::Applied);
        EXPECT_EQ(d.console, c.console);
        EXPECT_EQ(d.calls, c.calls);
    }
}

TEST(RvReplies, CurrentValuesFieldsFollowTheDataLength) {
    rv::CurrentValuesBlock b;
    b.count = 5;
    b.noise = 77;
    b.workTime = 3600;
    b.volumePlusWhole = 12;
    b.volumePlusFraction = 0.5f;
    for (std::size_t length : {15u, 19u, 39u}) {
        Bytes data(length);
        rv::encode(b, data);
        Recorder r;
        rv::FrameBuffer buffer{};
        const Bytes f = frame(0x41, 8, data);
        std::copy(f.begin(), f.end(), buffer.begin());
        Console console;
        rv::dispatchReply(buffer, f.size(), r, console);
        EXPECT_EQ(r.lastCurrent.length, length);
        EXPECT_EQ(r.lastCurrent.count, 5);
        EXPECT_EQ(r.lastCurrent.noise, length >= 19 ? 77u : 0u);
        EXPECT_EQ(r.lastCurrent.volumePlus(), length >= 39 ? 12.5 : 0.0);
    }
}

TEST(RvReplies, AFailureWhileApplyingIsReported) {
    Recorder r;
    r.throwOnOutputs = true;
    const Dispatched d = dispatch(frame(0x41, 3, Bytes(6, 0)), r);
    EXPECT_EQ(d.result.outcome, ReplyOutcome::BadData);
    EXPECT_EQ(d.console, std::vector<std::string>{"Приняты некоректные данные"});
}

TEST(RvFrames, BuilderPutsTheCrcAfterTheData) {
    rv::FrameBuffer f{};
    f[3] = 3;
    EXPECT_EQ(rv::buildFrame(f, 1, rv::FnRead, rv::RegCurrent, 1), 6u);
    const Bytes expected = frame(0x41, 8, {3});
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), f.begin()));
    EXPECT_THROW(rv::buildFrame(f, 1, rv::FnWrite, 2, 252), std::invalid_argument);
}

TEST(RvFrames, CurrentRequestFollowsTheFirmware) {
    EXPECT_FALSE(rv::currentRequestData(1).has_value());
    EXPECT_EQ(rv::currentReplyLength(1), 15u);
    EXPECT_EQ(rv::currentRequestData(2), 2);
    EXPECT_EQ(rv::currentReplyLength(2), 19u);
    EXPECT_EQ(rv::currentRequestData(6), 3);
    EXPECT_EQ(rv::currentReplyLength(6), 39u);
}

}  // namespace
