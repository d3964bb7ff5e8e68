#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Noncopyable.h"

// The key every user of the settings opens.
inline constexpr const char* kSettingsKey = "Software\\Соврель\\Сервис";

inline constexpr const char* kRegistryNotOpened = "Registry key is not opened";

// A key of the settings store. On Windows it is the registry key itself
// (RegKey_win.cpp): HKEY_CURRENT_USER\<path>, numbers as REG_DWORD of 4
// bytes, strings as REG_SZ, a value of another type or size read as the
// default. Strings are 8-bit texts in Windows-1251, the code page of the
// stored settings, turned to and from the registry's UTF-16 by the system.
//
// Elsewhere it is a small file of named values, each either a
// 32-bit number or a byte string, kept apart so that a value of the other
// type reads as the default. Every write goes to the file at once (a new file
// written beside the old one, then renamed over it), every read reads the
// file, so keys opened one after another see each other's values.
//
// The file is Соврель/Сервис.json in the user's configuration directory
// ($XDG_CONFIG_HOME, or ~/.config). The environment variable
// RVSERVICE_SETTINGS, or SetFileLocation, puts it elsewhere.
//
// Each write reads the whole file, changes one value and replaces the file
// while holding an exclusive lock on "<file>.lock" beside it, so several
// program instances (and threads) writing at once lose none of each other's
// values.
//
// A missing file or value reads as the default; so does a damaged file,
// which the next write replaces (keeping the damaged one beside it as
// "<file>.damaged"). Failing file access raises win_error.
class RegKey : Noncopyable {
public:
    RegKey() = default;
    ~RegKey() { Close(); }

    // Opens the key `path`, creating it when it does not exist. A key already
    // held is closed first.
    void Open(std::string_view path = kSettingsKey);
#ifdef _WIN32
    void Close();
    bool IsOpen() const { return m_key != nullptr; }
#else
    void Close() { m_path.clear(); m_open = false; }
    bool IsOpen() const { return m_open; }
#endif

    // Without an open key these raise the message error kRegistryNotOpened.
    std::int32_t ReadInt(std::string_view name, std::int32_t defaultValue) const;
    void WriteInt(std::string_view name, std::int32_t value);
    // `defaultValue` null: the empty string.
    std::string ReadString(std::string_view name, const char* defaultValue = nullptr) const;
    void WriteString(std::string_view name, std::string_view text);

#ifndef _WIN32
    // The settings file in use; an empty path goes back to the default
    // location. For tests and for the program's command line.
    static void SetFileLocation(std::string path);
    static std::string FileLocation();
#endif

private:
    void CheckOpen() const;

#ifdef _WIN32
    void* m_key = nullptr;  // HKEY
#else
    std::string m_path;
    bool m_open = false;
#endif
};

// A number value of the settings key as a switch: set when it is not 0. Not
// set when it is missing or of the other type, and when the settings cannot
// be read (a switch never stops the window that asks).
bool ReadSettingsSwitch(std::string_view name);
