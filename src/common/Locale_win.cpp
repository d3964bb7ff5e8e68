// The user's regional settings on Windows: the user's locale of the control
// panel (decimal symbol, short date, time), its pictures ("dd.MM.yyyy",
// "H:mm:ss") turned into the strftime form the program formats with.
#include "common/Locale.h"

#include <windows.h>

#include "common/Utf16.h"

namespace {

std::wstring localeText(LCTYPE type) {
    wchar_t text[128];
    const int length = ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, text, 128);
    return length > 1 ? std::wstring(text, static_cast<std::size_t>(length - 1)) : std::wstring();
}

// A date or time picture of the system in strftime form. Day, month, year,
// hour, minute and second take their two-digit (or four-digit year)
// conversions whatever their count, names of days and months their
// names; quoted text and other signs stay as they are.
std::string strftimeForm(const std::wstring& picture) {
    std::string out;
    for (std::size_t i = 0; i < picture.size();) {
        const wchar_t c = picture[i];
        std::size_t run = 1;
        while (i + run < picture.size() && picture[i + run] == c) ++run;
        switch (c) {
        case L'd': out += run == 3 ? "%a" : run >= 4 ? "%A" : "%d"; break;
        case L'M': out += run == 3 ? "%b" : run >= 4 ? "%B" : "%m"; break;
        case L'y': out += run >= 3 ? "%Y" : "%y"; break;
        case L'H': out += "%H"; break;
        case L'h': out += "%I"; break;
        case L'm': out += "%M"; break;
        case L's': out += "%S"; break;
        case L't': out += "%p"; break;
        case L'\'': {
            const std::size_t close = picture.find(L'\'', i + 1);
            const std::size_t end = close == std::wstring::npos ? picture.size() : close;
            for (const char c : Narrow(std::wstring_view(picture).substr(i + 1, end - i - 1))) {
                out += c;
                if (c == '%') out += '%';
            }
            i = end + 1;
            continue;
        }
        default:
            for (const char sign : Narrow(std::wstring_view(picture).substr(i, run))) {
                out += sign;
                if (sign == '%') out += '%';
            }
        }
        i += run;
    }
    return out;
}

}  // namespace

Locale Locale::fromSystem() {
    Locale result;
    const std::wstring decimal = localeText(LOCALE_SDECIMAL);
    if (decimal.size() == 1 && decimal[0] < 0x80) result.decimalSeparator = static_cast<char>(decimal[0]);
    if (const std::wstring date = localeText(LOCALE_SSHORTDATE); !date.empty())
        result.shortDateFormat = strftimeForm(date);
    if (const std::wstring time = localeText(LOCALE_STIMEFORMAT); !time.empty())
        result.takeTimeFormat(strftimeForm(time));
    return result;
}
