// libFuzzer target for the Nivor instrument's replies as the Nivor dialog
// takes them: the dialog's controller and its real worker, the instrument's
// side of the line played by the input (ScriptedPort). Every request
// begins with the greeting; then come the echoes, the temperature record,
// the status records of the poll and the stop (with the supply voltage in
// their state byte) as the input has them. A crash, a sanitizer report, an
// exception escaping the dialog or a value shown that is not a number is a
// finding, above all a time or temperature that a package entry would take.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "WorkerBench.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "common/MathError.h"
#include "devices/nivor/SpprController.h"

namespace {

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "Nivor dialog: %s\n", what);
    std::abort();
}

void act(SpprController& c, std::uint8_t action) {
    const int arg = action / 13;
    switch (action % 13) {
    case 0: c.bnStartClick(); break;
    case 1: c.bnStopClick(); break;
    case 2:
    case 3: c.TimerTimer(); break;
    case 4: c.cbModeChange(arg % 4); break;
    case 5: c.cbTempChChange(arg % 3); break;
    case 6: c.setSensorType(arg % 2); break;
    case 7: c.cbChannel1Change(arg % 4); break;
    case 8: c.cbChannel2Change(arg % 4); break;
    case 9: c.cbChannelChange(arg % 4); break;
    case 10: {
        using Reference = SpprController::Reference;
        const Reference kinds[] = {Reference::Volume, Reference::Mass, Reference::Flow};
        c.setTarget(arg % 4 == 3 ? std::nullopt : std::optional<Reference>(kinds[arg % 4]));
        break;
    }
    case 11: c.setMeasurementTime(arg * 0.5); break;
    default: c.cbPortChange(arg % 2); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    Locale locale;
    locale.decimalSeparator = input.byte() & 1 ? ',' : '.';
    const ScopedLocale scoped(locale);
    const BenchInput bench(input);

    Console console;
    WaitingNotifier notifier;
    SpprThread worker;
    worker.Start(notifier);
    SpprController c(worker, console);
    const auto handle = [&c](bool ok) { c.HandleResult(ok); };

    c.setTarget(SpprController::Reference::Mass);
    c.cbPortChange(1);
    pumpResults(worker, notifier, handle);
    for (const std::uint8_t action : bench.actions) {
        try {
            act(c, action);
        } catch (const UserError&) {
        }
        pumpResults(worker, notifier, handle);
        check(std::isfinite(c.temperature()), "the temperature is not a number");
        check(std::isfinite(c.tq()) && std::isfinite(c.t1()), "a time is not a number");
    }
    worker.Stop();
    return 0;
}
