#pragma once

#include <memory>

#include "document/Package.h"

// A package of entry type T on a document state of its own.
template <typename T>
std::shared_ptr<Package<T>> makePackage(Method method = Method::Volume,
                                        PackageType type = PackageType::Calibration,
                                        std::shared_ptr<DocumentState> state = nullptr) {
    if (!state) {
        state = std::make_shared<DocumentState>();
        state->options.resetToDefaults();
    }
    auto package = std::make_shared<Package<T>>(state);
    package->type = type;
    package->method = method;
    return package;
}

// Column position of a field in a package's table, -1 when not shown.
inline int columnOf(const PackageBase& package, int field) {
    for (int c = 0; c < package.columnCount(); ++c)
        if (package.columnField(c) == field) return c;
    return -1;
}
