// The settings switch over either store (RegKey.cpp or RegKey_win.cpp).
#include <exception>

#include "link/RegKey.h"

bool ReadSettingsSwitch(std::string_view name) {
    try {
        RegKey key;
        key.Open();
        return key.ReadInt(name, 0) != 0;
    } catch (const std::exception&) {
        return false;
    }
}
