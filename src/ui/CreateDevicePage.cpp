#include "CreateDevicePage.h"

#include "DornFrame.h"
#include "KeltFrame.h"
#include "RvFrame.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"
#include "devices/rv/RVx2.h"

QWidget* CreateDevicePage(DeviceBase& device, Console& console, QWidget* parent) {
    if (auto* dorn = dynamic_cast<Dorn*>(&device)) return new TDornFrame(*dorn, console, parent);
    if (auto* kelt = dynamic_cast<Kelt*>(&device)) return new TKeltFrame(*kelt, console, parent);
    if (auto* rv = dynamic_cast<RVx2*>(&device)) return new TRVFrame(*rv, console, parent);
    return nullptr;
}
