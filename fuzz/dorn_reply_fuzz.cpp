// libFuzzer target for the Dorn transducer's answers as the Dorn page takes
// them: the page's controller and its real worker, the transducer's side of
// the line played by the input (ScriptedPort). The page reads and writes
// the coefficients at every diameter of every model; a crash, a sanitizer
// report, an exception escaping the page or a coefficient shown that is not
// a number are findings.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "WorkerBench.h"
#include "common/Console.h"
#include "common/MathError.h"
#include "devices/dorn/DornPageController.h"

namespace {

void check(const DornPageState& page) {
    const double a = page.a().value(), b = page.b().value();
    if (!std::isfinite(a) || !std::isfinite(b)) {
        std::fprintf(stderr, "the Dorn page shows a coefficient that is not a number\n");
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const int model = input.choice(DornPageState::kModelCount);
    const int diameter = input.byte();
    const BenchInput bench(input);

    Console console;
    DornPageState page(model);
    page.selectDiameter(diameter % 10);
    WaitingNotifier notifier;
    DornThread worker;
    worker.Start(notifier);
    DornPageController c(page, worker, console);
    const auto handle = [&c](bool ok) { c.HandleResult(ok); };

    c.cbPortChange(1);
    pumpResults(worker, notifier, handle);
    for (const std::uint8_t action : bench.actions) {
        try {
            switch (action % 6) {
            case 0: c.bnReadClick(); break;
            case 1: c.bnWriteClick(); break;
            case 2: page.selectDiameter(action / 6 % 10); break;
            case 3: page.a().setValue(action / 6 * 0.25); break;
            case 4: page.b().setValue(action / 6 * 0.25 - 18.0); break;
            default: c.cbPortChange(action / 6 % 2); break;
            }
        } catch (const UserError&) {
        }
        pumpResults(worker, notifier, handle);
        check(page);
    }
    worker.Stop();
    return 0;
}
