#include "CreateDevicePage.h"

#include "DornFrame.h"
#include "KeltFrame.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"

QWidget* CreateDevicePage(DeviceBase& device, Console& console, QWidget* parent) {
    if (auto* dorn = dynamic_cast<Dorn*>(&device)) return new DornFrame(*dorn, console, parent);
    if (auto* kelt = dynamic_cast<Kelt*>(&device)) return new TKeltFrame(*kelt, console, parent);
    return nullptr;
}
