#include "comprt/ComPort.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include "support/FakeDevice.h"
#include "support/PtyPair.h"

using comprt::ComPort;
using comprt::DtrControl;
using comprt::RtsControl;
using comprt::Timeouts;
using testsupport::Bytes;
using testsupport::FakeDevice;

namespace {

// The message of the error `call` raises; empty when it raises none.
std::string MessageOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::exception& error) {
        return error.what();
    }
    return {};
}

// The line settings as another opener of the same device sees them.
termios LineOf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios line{};
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::tcgetattr(fd, &line), 0);
    ::close(fd);
    return line;
}

class ComPortPty : public ::testing::Test {
protected:
    void OpenPort(std::uint32_t readTimeout = 100) {
        m_port.Open(m_pty.SlavePath(), 9600, readTimeout, 0);
        ASSERT_TRUE(m_port.IsOpen());
    }

    PtyPair m_pty;
    ComPort m_port;
};

}  // namespace

TEST(WinError, MessageCarriesCodeAndSystemText) {
    const win_error error(ENOENT);
    EXPECT_EQ(error.ErrorCode, static_cast<std::uint32_t>(ENOENT));
    EXPECT_EQ(std::string(error.what()),
              "System Error.  Code: " + std::to_string(ENOENT) + ".\r\nNo such file or directory");
    EXPECT_EQ(std::string(win_error(29, "The system cannot write to the specified device.").what()),
              "System Error.  Code: 29.\r\nThe system cannot write to the specified device.");
}

TEST_F(ComPortPty, WritesAndReadsBothWays) {
    OpenPort();
    m_port.Write("ping", 4);
    EXPECT_EQ(m_pty.Receive(4), (Bytes{'p', 'i', 'n', 'g'}));

    // Raw mode: CR, LF, the interrupt character and zero pass unchanged.
    const Bytes reply{0x0D, 0x0A, 0x03, 0x00, 0xFF, 0x11, 0x13, 0x7F};
    m_pty.Send(reply);
    Bytes got(reply.size());
    m_port.Read(got.data(), got.size());
    EXPECT_EQ(got, reply);
}

TEST(ComPortDevice, ShortAnswerFailsReadButNotReadSome) {
    const Bytes seven{1, 2, 3, 4, 5, 6, 7};
    FakeDevice device;
    device.OnRequest({'?'}).Answer(seven);
    device.OnRequest({'?'}).Answer(seven);
    device.OnRequest({'?'}).Silent();
    device.Start();
    ComPort port;
    port.Open(device.SlavePath(), 9600, 100, 0);

    Bytes got(8);
    port.Write("?", 1);
    EXPECT_EQ(MessageOf([&] { port.Read(got.data(), 8); }), "Прибор не отвечает");
    EXPECT_TRUE(port.IsOpen());

    port.Write("?", 1);
    std::size_t count = 0;
    EXPECT_EQ(MessageOf([&] { count = port.ReadSome(got.data(), 8); }), "");
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(Bytes(got.begin(), got.begin() + 7), seven);

    port.Write("?", 1);
    EXPECT_EQ(MessageOf([&] { port.ReadSome(got.data(), 8); }), "Прибор не отвечает");
    EXPECT_TRUE(device.Finished()) << device.Mismatch();
}

TEST(ComPortDevice, IndexZeroClosesAndThePortOpensAgain) {
    FakeDevice device;
    device.OnRequest({'a'}).Answer({'A'});
    device.OnRequest({'b'}).Answer({'B'});
    device.Start();
    ComPort::ReplacePortList(ComPort::ComList({device.SlavePath()}));
    ComPort port;
    std::uint8_t byte = 0;

    port.Open(1, 9600, 2000);
    port.Write("a", 1);
    port.Read(&byte, 1);
    EXPECT_EQ(byte, 'A');

    port.Open(0, 9600, 2000);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(MessageOf([&] { port.Write("b", 1); }), "COM-порт не открыт");
    // The device is really released: another port may take it meanwhile.
    {
        ComPort other;
        other.Open(1, 9600, 2000);
        EXPECT_TRUE(other.IsOpen());
    }

    port.Open(1, 9600, 2000);
    ASSERT_TRUE(port.IsOpen());
    port.Write("b", 1);
    port.Read(&byte, 1);
    EXPECT_EQ(byte, 'B');
    EXPECT_TRUE(device.Finished()) << device.Mismatch();
    EXPECT_EQ(device.Received(), (Bytes{'a', 'b'}));
}

TEST_F(ComPortPty, ReadSomeStopsAtTheMaximum) {
    OpenPort(5000);
    m_pty.Send({1, 2, 3, 4, 5, 6});
    Bytes got(4);
    EXPECT_EQ(m_port.ReadSome(got.data(), 4), 4u);
    EXPECT_EQ(got, (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(m_port.ReadSome(got.data(), 2), 2u);
    EXPECT_EQ(got[1], 6);
}

// Each of these limits alone must end a read that gets too few bytes; a port
// that ignored it would wait for ever, so the read runs under a guard.
TEST_F(ComPortPty, EveryReadLimitEndsAShortRead) {
    struct Case {
        const char* name;
        Timeouts timeouts;
        std::size_t received;  // what ReadSome(8) returns for three bytes
    };
    const Case cases[] = {
        {"total constant", {0, 0, 30, 0, 0}, 3},
        {"multiplier per byte", {0, 5, 0, 0, 0}, 3},
        {"interval after the first byte", {30, 0, 0, 0, 0}, 3},
        {"return at once", {Timeouts::kMaxTimeout, 0, 0, 0, 0}, 3},
    };
    OpenPort();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_port.SetTimeouts(c.timeouts);
        EXPECT_EQ(m_port.GetTimeouts(), c.timeouts);
        m_pty.Send({7, 8, 9});
        Bytes got(8);
        // The bytes must have reached the port before a read that returns at
        // once can see them.
        m_port.SetTimeouts({0, 0, 5000, 0, 0});
        m_port.Read(got.data(), 1);
        m_port.SetTimeouts(c.timeouts);
        auto [finished, result] = FinishesOrRelease(
            [&] { return m_port.ReadSome(got.data() + 1, 7); }, [&] { m_pty.CloseMaster(); });
        ASSERT_TRUE(finished);
        EXPECT_EQ(result.get() + 1, c.received);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), (Bytes{7, 8, 9}));
    }
}

// The largest multiplier times a large count is far beyond the steady
// clock's range: the read must still wait for the bytes (and end by the
// interval), not count a wrapped deadline as already passed.
TEST_F(ComPortPty, LargestMultiplierWithALargeCountStillWaits) {
    OpenPort();
    m_port.SetTimeouts({50, Timeouts::kMaxTimeout, Timeouts::kMaxTimeout, 0, 0});
    for (const std::size_t count : {std::size_t{4096}, std::size_t{1} << 16, std::size_t{1} << 20}) {
        SCOPED_TRACE(count);
        Bytes got(count);
        auto late = std::async(std::launch::async, [&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_pty.Send({4, 5, 6});
        });
        auto [finished, result] = FinishesOrRelease(
            [&] { return m_port.ReadSome(got.data(), count); }, [&] { m_pty.CloseMaster(); });
        late.wait();
        ASSERT_TRUE(finished);
        EXPECT_EQ(result.get(), 3u);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 3), (Bytes{4, 5, 6}));
    }
}

TEST_F(ComPortPty, PurgeDiscardsWaitingInput) {
    OpenPort(2000);
    for (const bool inputOnly : {false, true}) {
        SCOPED_TRACE(inputOnly ? "PurgeInput" : "Purge");
        m_pty.Send({'a', 'b', 'c'});
        std::uint8_t byte = 0;
        m_port.Read(&byte, 1);  // the rest is now waiting in the driver
        EXPECT_EQ(byte, 'a');
        inputOnly ? m_port.PurgeInput() : m_port.Purge();
        m_pty.Send({'z'});
        m_port.Read(&byte, 1);
        EXPECT_EQ(byte, 'z');
    }
}

TEST_F(ComPortPty, BreakAndEscapeFunctions) {
    OpenPort();
    EXPECT_TRUE(m_port.SetBreak());
    EXPECT_TRUE(m_port.ClearBreak());
    // The adapter reset sequence: a pseudo-terminal has no modem lines, so
    // these succeed without acting.
    for (int code : {6, 4, 5, 3}) EXPECT_EQ(MessageOf([&] { m_port.EscapeFunction(code); }), "");
    try {
        m_port.EscapeFunction(77);
        FAIL() << "unknown escape function accepted";
    } catch (const win_error& error) {
        EXPECT_EQ(error.ErrorCode, static_cast<std::uint32_t>(EINVAL));
    }
    EXPECT_TRUE(m_port.IsOpen());
}

TEST_F(ComPortPty, SecondOpenerIsRefusedUntilTheFirstCloses) {
    OpenPort();
    ComPort other;
    EXPECT_EQ(MessageOf([&] { other.Open(m_pty.SlavePath(), 9600, 100, 0); }), "COM-порт не открыт");
    EXPECT_FALSE(other.IsOpen());
    std::uint8_t byte = 0;
    EXPECT_EQ(MessageOf([&] { other.Read(&byte, 1); }), "COM-порт не открыт");

    m_port.Close();
    EXPECT_FALSE(m_port.IsOpen());
    other.Open(m_pty.SlavePath(), 9600, 100, 0);
    EXPECT_TRUE(other.IsOpen());
}

TEST(ComPort, ClosedPortRefusesEveryOperation) {
    ComPort port;
    std::uint8_t buffer[4] = {};
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"Read", [&] { port.Read(buffer, 4); }},
        {"ReadSome", [&] { port.ReadSome(buffer, 4); }},
        {"Write", [&] { port.Write(buffer, 4); }},
        {"Purge", [&] { port.Purge(); }},
        {"PurgeInput", [&] { port.PurgeInput(); }},
        {"SetReadTimeout", [&] { port.SetReadTimeout(10); }},
        {"SetTimeouts", [&] { port.SetTimeouts({}); }},
        {"SetBreak", [&] { port.SetBreak(); }},
        {"ClearBreak", [&] { port.ClearBreak(); }},
        {"EscapeFunction", [&] { port.EscapeFunction(5); }},
    };
    for (const auto& [name, call] : operations) {
        SCOPED_TRACE(name);
        EXPECT_EQ(MessageOf(call), "COM-порт не открыт");
    }
    port.Close();  // closing a closed port is no failure
    EXPECT_FALSE(port.IsOpen());
}

TEST(ComPort, MissingOrUnusableDevice) {
    ComPort port;
    EXPECT_EQ(MessageOf([&] { port.Open("/dev/no-such-port", 9600, 100, 0); }), "COM-порт не открыт");
    EXPECT_EQ(MessageOf([&] { port.Open("COM0", 9600, 100, 0); }), "COM-порт не открыт");
    EXPECT_FALSE(port.IsOpen());

    // A file opens but takes no line settings: the system's error, port closed.
    const std::string file = ::testing::TempDir() + "not-a-port";
    std::ofstream(file) << "x";
    try {
        port.Open(file, 9600, 100, 0);
        FAIL() << "a plain file took line settings";
    } catch (const win_error& error) {
        EXPECT_EQ(error.ErrorCode, static_cast<std::uint32_t>(ENOTTY));
    }
    EXPECT_FALSE(port.IsOpen());
    std::filesystem::remove(file);
}

TEST_F(ComPortPty, LineSettingsAndRestoreOnClose) {
    const termios before = LineOf(m_pty.SlavePath());
    ASSERT_TRUE(before.c_lflag & ICANON);

    m_port.Open(m_pty.SlavePath(), 4800, 100, 0);
    termios line = LineOf(m_pty.SlavePath());
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B4800));
    EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_FALSE(line.c_cflag & CSTOPB);
    EXPECT_FALSE(line.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(line.c_iflag & (IXON | IXOFF | ICRNL));
    EXPECT_FALSE(line.c_oflag & OPOST);

    m_port.Close();
    line = LineOf(m_pty.SlavePath());
    EXPECT_TRUE(line.c_lflag & ICANON);
    EXPECT_EQ(::cfgetospeed(&line), ::cfgetospeed(&before));
}

TEST_F(ComPortPty, RejectedLineSettingsCloseThePort) {
    struct Case {
        const char* name;
        std::uint32_t baud;
        std::uint8_t parity;
    };
    for (const Case& c : {Case{"unknown speed", 12345, 0}, Case{"parity 5", 9600, 5}}) {
        SCOPED_TRACE(c.name);
        try {
            m_port.Open(m_pty.SlavePath(), c.baud, 100, c.parity);
            FAIL() << "accepted";
        } catch (const win_error& error) {
            EXPECT_EQ(error.ErrorCode, static_cast<std::uint32_t>(EINVAL));
        }
        EXPECT_FALSE(m_port.IsOpen());
    }
}

TEST_F(ComPortPty, OpenByIndexUsesThePortList) {
    ComPort::ReplacePortList(ComPort::ComList({"/dev/no-such-port", m_pty.SlavePath()}));

    m_port.Open(2, 9600, 100);
    EXPECT_TRUE(m_port.IsOpen());
    m_port.Open(0, 9600, 100);
    EXPECT_FALSE(m_port.IsOpen());

    // The device variant: two stop bits, DTR on, RTS off, per-byte timeout.
    m_port.Open(std::uint8_t{2}, 9600, 0, 10, DtrControl::Enable, RtsControl::Disable, 2);
    ASSERT_TRUE(m_port.IsOpen());
    EXPECT_TRUE(LineOf(m_pty.SlavePath()).c_cflag & CSTOPB);
    EXPECT_EQ(m_port.GetTimeouts(), (Timeouts{0, 10, 0, 0, 0}));
    m_port.SetReadTimeout(70);
    EXPECT_EQ(m_port.GetTimeouts(), (Timeouts{0, 10, 70, 0, 0}));
    m_pty.Send({'o', 'k'});
    Bytes got(2);
    m_port.Read(got.data(), 2);
    EXPECT_EQ(got, (Bytes{'o', 'k'}));

    // An index past the end is no port at all.
    m_port.Open(std::uint8_t{3}, 9600, 100, 0, DtrControl::Enable, RtsControl::Disable, 0);
    EXPECT_FALSE(m_port.IsOpen());
    EXPECT_EQ(MessageOf([&] { m_port.Open(1, 9600, 100); }), "COM-порт не открыт");
    // One and a half stop bits do not go with 8 data bits.
    EXPECT_THROW(
        m_port.Open(std::uint8_t{2}, 9600, 100, 0, DtrControl::Enable, RtsControl::Disable, 1),
        win_error);
    EXPECT_FALSE(m_port.IsOpen());
}

TEST_F(ComPortPty, WriteThatCannotFinishIsAWriteFault) {
    OpenPort();
    // Nobody reads the master: the pseudo-terminal's buffer fills and the
    // write timeout ends the transfer part-way.
    m_port.SetTimeouts({0, 0, 100, 0, 50});
    const Bytes large(1 << 20, 0x55);
    try {
        m_port.Write(large.data(), large.size());
        FAIL() << "a megabyte went into an unread pseudo-terminal";
    } catch (const win_error& error) {
        EXPECT_EQ(error.ErrorCode, 29u);
    }
    EXPECT_TRUE(m_port.IsOpen());
}

// The other side of the line is gone (the master closed, as an unplugged
// adapter's tty hangs up): every transfer says the port has gone, at once
// (not after its timeout), closes the port and keeps it for Reopen; the
// name in the text is the one it was opened with.
TEST(ComPort, HangUpIsThePortGoneNotASilentSuccess) {
    const struct {
        const char* name;
        std::function<void(comprt::ComPort&)> transfer;
    } cases[] = {
        {"write", [](comprt::ComPort& port) { port.Write("x", 1); }},
        {"read", [](comprt::ComPort& port) {
             std::uint8_t byte = 0;
             port.Read(&byte, 1);
         }},
        {"read some", [](comprt::ComPort& port) {
             std::uint8_t bytes[4];
             port.ReadSome(bytes, sizeof bytes);
         }},
        {"purge", [](comprt::ComPort& port) { port.Purge(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair pty;
        comprt::ComPort port;
        port.Open(pty.SlavePath(), 9600, 5000, 0);
        pty.CloseMaster();
        const auto start = std::chrono::steady_clock::now();
        try {
            c.transfer(port);
            ADD_FAILURE() << "the transfer went through";
        } catch (const comprt::PortGone& gone) {
            EXPECT_EQ(std::string(gone.what()), "Порт отключён: " + pty.SlavePath());
            EXPECT_EQ(gone.name(), pty.SlavePath());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << "waited for the timeout";
        EXPECT_FALSE(port.IsOpen());
        EXPECT_TRUE(port.Lost());
        EXPECT_FALSE(port.Reopen()) << "the pseudo-terminal is gone for good";
        std::uint8_t byte = 0;
        EXPECT_THROW(port.Read(&byte, 1), UserError);
        port.Close();
        EXPECT_FALSE(port.Lost()) << "closing gives the port up";
    }
}
