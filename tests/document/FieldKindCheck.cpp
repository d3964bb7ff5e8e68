// Compiled four ways by the document_field_kinds test (CompileCheck.cmake):
// as it stands it must compile; with WRONG_PAIRING its table lists a 32-bit
// member as a double field, with FOREIGN_TYPE a float member, with
// SHARED_MEMBER one member as two fields, and none of these may compile.

#include <cstdint>

#include "document/EntryFields.h"

#pragma pack(push, 1)
struct ProbeEntry {
    double t;
    std::int32_t pulses1;
    std::uint8_t off;
    float level;
};
#pragma pack(pop)

template <>
struct EntryTraits<ProbeEntry> {
    static constexpr EntryField kFields[] = {
        ENTRY_FIELD(ProbeEntry, t, kT),
#if defined(WRONG_PAIRING)
        ENTRY_FIELD(ProbeEntry, pulses1, kFreq),
#elif defined(FOREIGN_TYPE)
        ENTRY_FIELD(ProbeEntry, level, kFreq),
#elif defined(SHARED_MEMBER)
        ENTRY_FIELD(ProbeEntry, pulses1, kPulses1),
        ENTRY_FIELD(ProbeEntry, pulses1, kPulses2),
#else
        ENTRY_FIELD(ProbeEntry, pulses1, kPulses1),
#endif
        ENTRY_FIELD(ProbeEntry, off, kOff),
    };
};
CHECK_ENTRY_FIELDS(ProbeEntry);
