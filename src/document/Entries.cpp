#include "document/Entries.h"

#include <array>

namespace {

constexpr ColumnInfo kDouble(const char* caption, const char* html, int width, int decimals) {
    return {caption, html, width, 0, FieldKind::Double, decimals, 0};
}
constexpr ColumnInfo kInt(const char* caption, const char* html, int width) {
    return {caption, html, width, 0, FieldKind::Int32, 0, 0};
}
constexpr ColumnInfo kBool(const char* caption, int width) { return {caption, caption, width, 1, FieldKind::Bool, 0, 0}; }

constexpr std::array<ColumnInfo, kFieldCount> kFields = {{
    kBool("Точка", 45),
    kDouble("t (°C)", "t (°C)", 60, 2),
    kDouble("Mэт (кг)", "M<sub>эт</sub> (кг)", 60, 3),
    kDouble("Vэт (л)", "V<sub>эт</sub> (л)", 60, 3),
    kDouble("Tэт (сек)", "T<sub>эт</sub> (сек)", 60, 3),
    kDouble("gэт (м3/ч)", "g<sub>эт</sub> (м<sup>3</sup>/ч)", 70, 6),
    kDouble("T1 (сек)", "T1 (сек)", 60, 3),
    kInt("N1 (имп)", "N1 (имп)", 60),
    kDouble("f (Гц)", "f (Гц)", 70, 6),
    kDouble("E (код)", "E (код)", 85, 7),
    kDouble("gизм (м3/ч)", "g<sub>изм</sub> (м<sup>3</sup>/ч)", 75, 6),
    kDouble("dg (%)", "&delta;g (%)", 70, 2),
    kInt("N2 (имп)", "N2 (имп)", 60),
    kDouble("Vизм (л)", "V<sub>изм</sub> (л)", 70, 3),
    kDouble("dV (%)", "&delta;V (%)", 70, 2),
    kInt("№ сечения", "№ сечения", 70),
    kInt("№ прямой", "№ прямой", 70),
    kBool("Выкл.", 45),
    kDouble("", "", 0, 6),  // flowRefRed
    kDouble("", "", 0, 6),  // freqRed
}};

constexpr bool kindsAgree() {
    for (int id = 0; id < kFieldCount; ++id)
        if (kFields[static_cast<std::size_t>(id)].kind != FieldKindOf(id)) return false;
    return true;
}
static_assert(kindsAgree(), "a column's kind differs from its field id's kind");

const std::array<const char*, kFieldCount> kNames = {
    "point", "t",       "massRef", "volRef",  "timeRef", "flowRef", "time1",   "pulses1", "freq",       "code",
    "flowMeas", "flowErr", "pulses2", "volMeas", "volErr", "section", "line", "off",     "flowRefRed", "freqRed",
};

// Column lists; the mass method inserts massRef right after t.
constexpr int kDornCal[] = {kOff, kT, kVolRef, kTimeRef, kFlowRef, kTime1, kPulses1, kFreq, kFlowMeas, kFlowErr};
constexpr int kDornCalMass[] = {kOff,  kT,       kMassRef, kVolRef,  kTimeRef,
                                kFlowRef, kTime1, kPulses1, kFreq, kFlowMeas, kFlowErr};
constexpr int kDornVer[] = {kT,        kVolRef,  kTimeRef, kFlowRef, kTime1,  kPulses1,
                            kFreq,     kFlowMeas, kFlowErr, kPulses2, kVolMeas, kVolErr};
constexpr int kDornVerMass[] = {kT,       kMassRef,  kVolRef,  kTimeRef, kFlowRef, kTime1,  kPulses1,
                                kFreq,    kFlowMeas, kFlowErr, kPulses2, kVolMeas, kVolErr};
constexpr int kKeltCal[] = {kOff,     kPoint,   kSection, kT,        kVolRef,  kTimeRef, kFlowRef,
                            kTime1,   kPulses1, kFreq,    kFlowMeas, kFlowErr, kLine};
constexpr int kKeltCalMass[] = {kOff,     kPoint,   kSection, kT,        kMassRef, kVolRef, kTimeRef,
                                kFlowRef, kTime1,   kPulses1, kFreq,     kFlowMeas, kFlowErr, kLine};
constexpr int kKeltVer[] = {kT,        kVolRef,  kTimeRef, kFlowRef, kTime1,  kPulses1, kFreq,
                            kFlowMeas, kFlowErr, kLine,    kPulses2, kVolMeas, kVolErr};
constexpr int kKeltVerMass[] = {kT,    kMassRef,  kVolRef,  kTimeRef, kFlowRef, kTime1,  kPulses1,
                                kFreq, kFlowMeas, kFlowErr, kLine,    kPulses2, kVolMeas, kVolErr};
constexpr int kRvCal[] = {kOff,     kPoint, kSection,  kT,       kVolRef, kTimeRef,
                          kFlowRef, kCode,  kFlowMeas, kFlowErr, kLine};
constexpr int kRvCalMass[] = {kOff,     kPoint,   kSection, kT,        kMassRef, kVolRef,
                              kTimeRef, kFlowRef, kCode,    kFlowMeas, kFlowErr, kLine};
constexpr int kRvVer[] = {kT,        kVolRef,  kTimeRef, kFlowRef, kCode,    kFlowMeas,
                          kFlowErr,  kLine,    kPulses2, kVolMeas, kVolErr};
constexpr int kRvVerMass[] = {kT,        kMassRef, kVolRef, kTimeRef, kFlowRef, kCode,
                              kFlowMeas, kFlowErr, kLine,   kPulses2, kVolMeas, kVolErr};

}  // namespace

const char* FieldName(int id) { return (id >= 0 && id < kFieldCount) ? kNames[static_cast<std::size_t>(id)] : ""; }

const ColumnInfo& FieldInfo(int id) { return kFields[static_cast<std::size_t>(id)]; }

std::span<const int> ColumnList(EntryType entryType, PackageType type, Method method) {
    const bool mass = method == Method::Mass;
    const bool calibration = type == PackageType::Calibration;
    switch (entryType) {
        case EntryType::Dorn:
            if (calibration) return mass ? std::span<const int>(kDornCalMass) : kDornCal;
            return mass ? std::span<const int>(kDornVerMass) : kDornVer;
        case EntryType::Kelt:
            if (calibration) return mass ? std::span<const int>(kKeltCalMass) : kKeltCal;
            return mass ? std::span<const int>(kKeltVerMass) : kKeltVer;
        case EntryType::RV:
            if (calibration) return mass ? std::span<const int>(kRvCalMass) : kRvCal;
            return mass ? std::span<const int>(kRvVerMass) : kRvVer;
    }
    return {};
}

std::uint32_t ReadOnlyMask(Method method) {
    switch (method) {
        case Method::Mass: return 0x1ED28;
        case Method::Reference: return 0x1ED08;
        case Method::Volume: break;
    }
    return 0x1ED20;
}
