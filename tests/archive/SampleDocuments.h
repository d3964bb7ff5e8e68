#pragma once

// Documents as a bench makes them, for the archive's tests and benchmarks:
// a Kelt transducer with its characteristic and packages of entries whose
// flow errors differ from one document to the next.

#include <cstdint>
#include <string>

#include "common/Console.h"
#include "devices/DeviceBase.h"
#include "document/Document.h"
#include "files/DocumentFile.h"

struct SampleDocument {
    int typeCode = 25;
    std::uint32_t serial = 12345678;
    std::uint8_t du = 3;
    int packages = 5;
    int entries = 20;
    int seed = 0;            // varies the measurements
    int year = 2024, month = 3, day = 14;
};

// The document file's bytes of the sample.
inline std::string SampleDocumentBytes(const SampleDocument& s) {
    Console console;
    Document doc(console);
    doc.create(s.typeCode);
    DeviceBase& device = *doc.device();
    device.SetIdent(Ident{s.serial, s.du});
    // 80 pulses a litre: 3.6 / 80 m³/h per Hz, a little off from one
    // transducer to the next.
    device.SetLines({{0.045 * (1.0 + 0.002 * (s.seed % 5 - 2)), 0.0, 1e9}}, 0);
    doc.tabChanged();
    for (int p = 0; p < s.packages; ++p) {
        const auto package = doc.addPackage(p % 2 ? PackageType::Verification : PackageType::Calibration,
                                            static_cast<Method>(p % 2));
        package->created = SystemTime{static_cast<std::uint16_t>(s.year), static_cast<std::uint16_t>(s.month), 0,
                                      static_cast<std::uint16_t>(s.day), static_cast<std::uint16_t>(9 + p),
                                      static_cast<std::uint16_t>((s.seed * 7) % 60), 0, 0};
        for (int i = 0; i < s.entries; ++i) {
            package->addEntry();
            const double t = 20.0, ref = 50.0 + i, timeRef = 60.0, time1 = 60.0;
            // Within about ±0.5 % of the reference volume's pulses.
            const std::int32_t pulses = static_cast<std::int32_t>(80 * ref) + (s.seed * 13 + p * 5 + i * 3) % 41 - 20;
            package->setField(i, kT, &t);
            package->setField(i, package->method == Method::Mass ? kMassRef : kVolRef, &ref);
            package->setField(i, kTimeRef, &timeRef);
            package->setField(i, kTime1, &time1);
            package->setField(i, kPulses1, &pulses);
            // The pulse output counts the reference volume to a pulse.
            if (const double weight = doc.state().options.pulseWeight; weight > 0) {
                const auto pulses2 = static_cast<std::int32_t>(ref / (weight * 1000.0) + 0.5);
                package->setField(i, kPulses2, &pulses2);
            }
        }
        package->recalcAll();
    }
    return files::DocumentBytes(doc);
}
