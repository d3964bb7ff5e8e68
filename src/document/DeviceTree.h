#pragma once

#include <span>
#include <string>

// One row of the device tree of the new-document dialog, in display order.
// A group row has code -1, cannot be chosen and starts collapsed; a device
// row marked `underGroup` is a child of the nearest group row above it.
struct DeviceTreeRow {
    const char* text;
    int code;         // device type code, -1 for a group
    bool underGroup;  // child of the group above, else a top-level row

    bool isGroup() const { return code < 0; }
};

std::span<const DeviceTreeRow> DeviceTreeRows();
