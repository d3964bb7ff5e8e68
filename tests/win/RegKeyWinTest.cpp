// The settings store over the registry: values land under
// HKEY_CURRENT_USER with the types the settings have, values of another type
// or size read as defaults, and reg.exe sees them where the settings live.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <windows.h>

#include "common/MathError.h"
#include "common/WinError.h"
#include "link/RegKey.h"

namespace {

std::wstring wide(const std::string& utf8) {
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
    return text;
}

// A key of its own under HKEY_CURRENT_USER, removed afterwards; values are
// set and looked at through the registry directly.
class RegKeyWin : public ::testing::Test {
protected:
    const std::string path = "Software\\Соврель\\Сервис-тест-" + std::to_string(::GetCurrentProcessId());

    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, wide(path).c_str()); }

    void setRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, wide(path).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                    &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
        ::RegCloseKey(key);
    }

    struct Raw {
        LONG result = -1;
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    Raw raw(const wchar_t* name) {
        Raw r;
        DWORD size = 256;
        r.data.resize(size);
        r.result = ::RegGetValueW(HKEY_CURRENT_USER, wide(path).c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &r.type,
                                  r.data.data(), &size);
        r.data.resize(r.result == ERROR_SUCCESS ? size : 0);
        return r;
    }
};

TEST_F(RegKeyWin, OpenCreatesTheKeyAndValuesKeepTheirTypes) {
    RegKey key;
    key.Open(path);
    EXPECT_TRUE(key.IsOpen());
    key.WriteInt("DornComPort", 3);
    key.WriteInt("Separator", -1);
    // Column positions + 1 and 255 for a skipped column, as the text dialog
    // keeps them.
    key.WriteString("csv1001", std::string("\x03\x04\x05\xff", 4));

    const Raw port = raw(L"DornComPort");
    ASSERT_EQ(port.result, ERROR_SUCCESS);
    EXPECT_EQ(port.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(port.data, (std::vector<BYTE>{3, 0, 0, 0}));
    EXPECT_EQ(raw(L"Separator").data, (std::vector<BYTE>{0xff, 0xff, 0xff, 0xff}));

    // A REG_SZ of the bytes as Windows-1251 characters (255 is "я"), with
    // its terminating zero.
    const Raw columns = raw(L"csv1001");
    ASSERT_EQ(columns.result, ERROR_SUCCESS);
    EXPECT_EQ(columns.type, static_cast<DWORD>(REG_SZ));
    const std::wstring expected{L'\x03', L'\x04', L'\x05', L'\x044F', L'\0'};
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(columns.data.data()), columns.data.size() / 2), expected);

    // Another key object opened afterwards reads what this one wrote.
    RegKey again;
    again.Open(path);
    EXPECT_EQ(again.ReadInt("DornComPort", 0), 3);
    EXPECT_EQ(again.ReadInt("Separator", 0), -1);
    EXPECT_EQ(again.ReadString("csv1001"), std::string("\x03\x04\x05\xff", 4));
}

TEST_F(RegKeyWin, AbsentWrongTypeAndWrongSizeReadAsTheDefault) {
    const wchar_t text[] = L"5";
    setRaw(L"DornComPort", REG_SZ, text, sizeof text);
    const std::uint64_t wide64 = 5;
    setRaw(L"KeltComPort", REG_QWORD, &wide64, sizeof wide64);
    const BYTE two[2] = {5, 0};
    setRaw(L"RvComPort", REG_BINARY, two, sizeof two);
    const DWORD number = 7;
    setRaw(L"csv2000", REG_DWORD, &number, sizeof number);
    setRaw(L"csv0000", REG_EXPAND_SZ, text, sizeof text);
    setRaw(L"SpprComPort", REG_DWORD, &number, sizeof number);

    RegKey key;
    key.Open(path);
    EXPECT_EQ(key.ReadInt("DornComPort", 0), 0) << "a string";
    EXPECT_EQ(key.ReadInt("KeltComPort", 0), 0) << "8 bytes";
    EXPECT_EQ(key.ReadInt("RvComPort", 0), 0) << "2 bytes of another type";
    EXPECT_EQ(key.ReadInt("EnableZeroOffset", 4), 4) << "absent";
    EXPECT_EQ(key.ReadInt("SpprComPort", 0), 7);
    EXPECT_EQ(key.ReadString("csv2000", "x"), "x") << "a number";
    EXPECT_EQ(key.ReadString("csv0000", "x"), "x") << "an expandable string";
    EXPECT_EQ(key.ReadString("csv1111"), "") << "absent, no default";
}

TEST_F(RegKeyWin, AClosedKeyRefusesEveryAccess) {
    RegKey key;
    const auto refused = [](const auto& access) {
        try {
            access();
        } catch (const UserError& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(refused([&] { key.ReadInt("DornComPort", 0); }), kRegistryNotOpened);
    EXPECT_EQ(refused([&] { key.WriteString("csv0001", "a"); }), kRegistryNotOpened);
    key.Open(path);
    key.Close();
    EXPECT_EQ(refused([&] { key.WriteInt("DornComPort", 1); }), kRegistryNotOpened);
}

// What reg.exe prints for `reg query HKCU\<key>`: the settings as the
// system's own tool sees them.
std::string regQuery(const std::string& keyPath) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return "no pipe";
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring command = L"reg.exe query \"HKCU\\" + wide(keyPath) + L"\"";
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                          nullptr, &startup, &process);
    ::CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char chunk[4096];
        DWORD got = 0;
        while (::ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) out.append(chunk, got);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::CloseHandle(process.hProcess);
        ::CloseHandle(process.hThread);
    } else {
        out = "reg.exe did not start";
    }
    ::CloseHandle(readEnd);
    return out;
}

// The settings key itself: reg.exe lists each value with its type.
TEST(RegKeySettings, RegQueryShowsTheValuesUnderTheSettingsKey) {
    RegKey key;
    key.Open();
    key.WriteInt("DornComPort", 2);
    key.WriteInt("RvComPort", 11);
    key.WriteString("csv1001", "\x01\x02");
    const std::string listed = regQuery(kSettingsKey);
    SCOPED_TRACE(listed);
    EXPECT_NE(listed.find("DornComPort    REG_DWORD    0x2"), std::string::npos);
    EXPECT_NE(listed.find("RvComPort    REG_DWORD    0xb"), std::string::npos);
    EXPECT_NE(listed.find("csv1001    REG_SZ"), std::string::npos);
}

}  // namespace
