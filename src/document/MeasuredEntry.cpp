#include "document/MeasuredEntry.h"

#include "document/PackageBase.h"

FieldId referenceField(Method method) {
    switch (method) {
    case Method::Mass: return kMassRef;
    case Method::Reference: return kFlowRef;
    case Method::Volume: break;
    }
    return kVolRef;
}

namespace {

template <typename V>
void store(PackageBase& package, int row, int id, const std::optional<V>& value) {
    if (value) package.setField(row, id, &*value);
}

}  // namespace

int addMeasuredEntry(PackageBase& package, const Measurement& measured) {
    package.addEntry();
    const int row = package.entryCount() - 1;
    store(package, row, kTimeRef, measured.timeRef);
    store(package, row, kPulses1, measured.pulses1);
    store(package, row, kTime1, measured.time1);
    store(package, row, kPulses2, measured.pulses2);
    store(package, row, kT, measured.t);
    store(package, row, referenceField(package.method), measured.reference);
    store(package, row, kCode, measured.code);
    package.recalcEntry(row);
    return row;
}
