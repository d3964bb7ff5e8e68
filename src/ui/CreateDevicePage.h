#pragma once

class Console;
class DeviceBase;
class QWidget;

// The device page of a document's tab 0, by the device model's family: the
// Dorn page for Dorn documents, the Kelt page for Kelt documents; null for
// the families whose pages do not exist yet. The page is a child of `parent` and reports to `console`; it
// binds to the device model's page state and starts its worker (opening the
// stored port) only when it is first shown.
QWidget* CreateDevicePage(DeviceBase& device, Console& console, QWidget* parent);
