#include "CreateDevicePage.h"

#include "DornFrame.h"
#include "devices/dorn/Dorn.h"

QWidget* CreateDevicePage(DeviceBase& device, Console& console, QWidget* parent) {
    if (auto* dorn = dynamic_cast<Dorn*>(&device)) return new DornFrame(*dorn, console, parent);
    return nullptr;
}
