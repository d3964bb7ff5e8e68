// The user's regional settings on POSIX: the C library's locale of the
// environment (LANG, LC_ALL …).
#include "common/Locale.h"

#include <langinfo.h>
#include <locale.h>

Locale Locale::fromSystem() {
    Locale result;
    locale_t loc = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) return result;
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    if (radix && radix[0] && !radix[1]) result.decimalSeparator = radix[0];
    const char* dateFmt = nl_langinfo_l(D_FMT, loc);
    if (dateFmt && *dateFmt) result.shortDateFormat = dateFmt;
    if (const char* timeFmt = nl_langinfo_l(T_FMT, loc)) result.takeTimeFormat(timeFmt);
    freelocale(loc);
    return result;
}
