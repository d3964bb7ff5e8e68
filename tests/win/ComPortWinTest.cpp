// The port list from the device namespace and the serial port's refusals on
// Windows. Transfers on a real line are tested against devsim
// (srvtool-vs-devsim.sh).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "common/MathError.h"
#include "comprt/ComPort.h"

namespace {

using comprt::ComPort;
using ComList = ComPort::ComList;

// The device namespace as QueryDosDeviceW hands it over: names one after
// another, each with its zero, an empty name at the end.
std::wstring names(std::initializer_list<const wchar_t*> list) {
    std::wstring block;
    for (const wchar_t* name : list) {
        block += name;
        block += L'\0';
    }
    return block + L'\0';
}

// A query that needs `needed` characters and records the sizes it was
// offered.
struct FakeQuery {
    std::wstring block;
    std::vector<std::uint32_t>* sizes;
    DWORD failure = ERROR_INSUFFICIENT_BUFFER;
    std::uint32_t needed = 0;

    std::uint32_t operator()(wchar_t* buffer, std::uint32_t size) const {
        sizes->push_back(size);
        if (size < std::max<std::uint32_t>(needed, static_cast<std::uint32_t>(block.size()))) {
            ::SetLastError(failure);
            return 0;
        }
        block.copy(buffer, block.size());
        return static_cast<std::uint32_t>(block.size());
    }
};

TEST(DosDeviceNames, TheBufferDoublesUpTo65536Characters) {
    std::vector<std::uint32_t> sizes;
    const std::wstring block = names({L"COM3", L"LPT1"});
    EXPECT_EQ(ComList::DosDeviceNames(FakeQuery{block, &sizes, ERROR_INSUFFICIENT_BUFFER, 20000}),
              (std::vector<std::string>{"COM3", "LPT1"}));
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{8192, 16384, 32768}));

    sizes.clear();
    EXPECT_TRUE(ComList::DosDeviceNames(FakeQuery{block, &sizes, ERROR_INSUFFICIENT_BUFFER, 70000}).empty());
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{8192, 16384, 32768, 65536}));

    sizes.clear();
    EXPECT_TRUE(ComList::DosDeviceNames(FakeQuery{block, &sizes, ERROR_ACCESS_DENIED, 9000}).empty());
    EXPECT_EQ(sizes, (std::vector<std::uint32_t>{8192})) << "another failure is not retried";
}

TEST(DosDeviceNames, TheListTakesCommNamesInTheSystemsOrder) {
    std::vector<std::uint32_t> sizes;
    const std::wstring block =
        names({L"COM10", L"LPT1", L"COM2", L"com12", L"COMX", L"COM1A", L"CNCA0", L"C:", L"COM\x0418",
               L"COM256", L"COM1234567890", L"COM"});
    const ComList list(ComList::DosDeviceNames(FakeQuery{block, &sizes}));
    EXPECT_EQ(list.Names(), (std::vector<std::string>{"COM10", "COM2", "com12", "COM256", "COM"}));
    EXPECT_EQ(list.Text(), "COM10\nCOM2\ncom12\nCOM256\nCOM\n");

    const ComList none(ComList::DosDeviceNames(FakeQuery{names({L"LPT1", L"NUL"}), &sizes}));
    ASSERT_EQ(none.Count(), 20u);
    EXPECT_EQ(none.Name(0), "COM1");
    EXPECT_EQ(none.Name(19), "COM20");
}

std::string failure(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "no error";
}

TEST(ComPortWin, AnAbsentPortIsNotOpenAndStaysClosed) {
    EXPECT_EQ(ComPort::DevicePath("COM7"), "\\\\.\\COM7");
    ComPort port;
    EXPECT_EQ(failure([&] { port.OpenDevice("COM199"); }), comprt::kPortNotOpen);
    EXPECT_FALSE(port.IsOpen());
    char byte = 0;
    EXPECT_EQ(failure([&] { port.Read(&byte, 1); }), comprt::kPortNotOpen);
    EXPECT_EQ(failure([&] { port.Write(&byte, 1); }), comprt::kPortNotOpen);
    EXPECT_EQ(failure([&] { port.SetReadTimeout(10); }), comprt::kPortNotOpen);
    EXPECT_EQ(failure([&] { port.EscapeFunction(comprt::kSetDtr); }), comprt::kPortNotOpen);

    // Index 0, or one past the list, closes and opens nothing.
    ComPort::ReplacePortList(ComList(std::vector<std::string>{"COM199"}));
    EXPECT_EQ(failure([&] { port.Open(0, 9600, 100); }), "no error");
    EXPECT_EQ(failure([&] { port.Open(2, 9600, 100); }), "no error");
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(failure([&] { port.Open(1, 9600, 100); }), comprt::kPortNotOpen);
}

TEST(WinErrorText, TheSystemsTextFollowsTheCode) {
    const comprt::win_error error(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(error.ErrorCode, 2u);
    const std::string text = error.what();
    EXPECT_EQ(text.rfind("System Error.  Code: 2.\r\n", 0), 0u) << text;
    EXPECT_GT(text.size(), std::string("System Error.  Code: 2.\r\n").size()) << "the system's own text follows";
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(comprt::win_error::CodeOfErrno(ENOENT), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(comprt::win_error::CodeOfErrno(EACCES), static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
}

}  // namespace
