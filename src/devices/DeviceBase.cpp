#include "devices/DeviceBase.h"

int EntryTypeOfCode(int code) {
    if (code >= kFirstKeltCode && code <= kLastKeltCode) return 1;
    if (code >= kFirstDornCode && code <= kLastDornCode) return 0;
    if (code == kRvCode) return 2;
    return 0;
}

Family FamilyOfCode(int code) {
    if (code >= kFirstKeltCode && code <= kLastKeltCode) return Family::Kelt;
    if (code == kRvCode) return Family::RV;
    return Family::Dorn;
}

int DeviceBase::HiddenColumns(bool verificationPackage) const {
    const int code = Type();
    if (!verificationPackage || code < kFirstDornCode || code > kLastDornCode) return 0;
    const int model = code - kFirstDornCode;
    const bool hasPulseOutput = model == 1 || model == 2 || (model >= 7 && model <= 16);
    return hasPulseOutput ? 0 : 3;
}
