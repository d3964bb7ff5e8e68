#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Noncopyable.h"

// The key every user of the settings opens.
inline constexpr const char* kSettingsKey = "Software\\Соврель\\Сервис";

inline constexpr const char* kRegistryNotOpened = "Registry key is not opened";

// A key of the settings store: a small file of named values, each either a
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
    void Close() { m_path.clear(); m_open = false; }
    bool IsOpen() const { return m_open; }

    // Without an open key these raise the message error kRegistryNotOpened.
    std::int32_t ReadInt(std::string_view name, std::int32_t defaultValue) const;
    void WriteInt(std::string_view name, std::int32_t value);
    // `defaultValue` null: the empty string.
    std::string ReadString(std::string_view name, const char* defaultValue = nullptr) const;
    void WriteString(std::string_view name, std::string_view text);

    // The settings file in use; an empty path goes back to the default
    // location. For tests and for the program's command line.
    static void SetFileLocation(std::string path);
    static std::string FileLocation();

private:
    void CheckOpen() const;

    std::string m_path;
    bool m_open = false;
};

// A number value of the settings key as a switch: set when it is not 0. Not
// set when it is missing or of the other type, and when the settings cannot
// be read (a switch never stops the window that asks).
bool ReadSettingsSwitch(std::string_view name);
