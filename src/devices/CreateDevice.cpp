#include "devices/DeviceBase.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"
#include "devices/rv/RVx2.h"

std::unique_ptr<DeviceBase> CreateDevice(int typeCode, Console& console) {
    if (typeCode >= kFirstKeltCode && typeCode <= kLastKeltCode)
        return std::make_unique<Kelt>(console, typeCode - kFirstKeltCode);
    if (typeCode >= kFirstDornCode && typeCode <= kLastDornCode)
        return std::make_unique<Dorn>(console, typeCode - kFirstDornCode);
    if (typeCode == kRvCode) return std::make_unique<RVx2>(console);
    return nullptr;
}
