// libFuzzer target for the Kelt answers as the Kelt page takes them: the
// page's controller and its real worker (waits cut to nothing), the adapter
// and the transducer on the far side of the line played by the input
// (ScriptedPort). Every model of both protocols is driven through every
// button, so the adapter's query answer and version, the echoes, the
// identification, the checksums, the five parameter block decoders, the
// correction, signal, battery, temperature and firmware answers all meet
// hostile bytes. A crash, a sanitizer report, an exception escaping the page
// or a coefficient shown that is not a number is a finding.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "WorkerBench.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "common/MathError.h"
#include "devices/kelt/KeltPageController.h"

namespace {

void act(KeltPageController& c, KeltPageState& page, std::uint8_t action) {
    const int arg = action / 14;
    switch (action % 14) {
    case 0: c.bnReadClick(); break;
    case 1: c.bnWriteClick(); break;
    case 2: c.bnSetLevelClick(); break;
    case 3: c.bnGetAmpClick(); break;
    case 4: c.bnAutoClick(); break;
    case 5: c.bnResetClick(); break;
    case 6: c.bnGetUClick(); break;
    case 7: c.bnGetTClick(); break;
    case 8: c.bnGetVerCrcClick(); break;
    case 9: page.selectDiameter(arg % 11); break;
    case 10: page.selectOutputType(arg % 6); break;
    case 11: page.selectWeight(arg % 5); break;
    case 12: c.cbPortChange(arg % 2); break;
    default: break;
    }
}

void check(const KeltPageState& page) {
    for (int i = 0; i < KeltPageState::kSegments; ++i) {
        if (!std::isfinite(page.a(i).value()) || !std::isfinite(page.b(i).value())) {
            std::fprintf(stderr, "the Kelt page shows a coefficient that is not a number\n");
            std::abort();
        }
    }
    for (int k = 0; k < KeltPageState::kBoundaries; ++k) {
        if (!std::isfinite(page.f(k).value())) {
            std::fprintf(stderr, "the Kelt page shows a boundary that is not a number\n");
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const int model = input.choice(KeltPageState::kModelCount);
    Locale locale;
    locale.decimalSeparator = input.byte() & 1 ? ',' : '.';
    const ScopedLocale scoped(locale);
    const BenchInput bench(input);

    Console console;
    KeltPageState page(model);
    WaitingNotifier notifier;
    KeltThread worker;
    worker.setSleep([](std::chrono::milliseconds) {});
    worker.Start(notifier);
    KeltPageController c(page, worker, console);
    const auto handle = [&c](bool ok) { c.HandleResult(ok); };

    c.cbPortChange(1);
    pumpResults(worker, notifier, handle);
    for (const std::uint8_t action : bench.actions) {
        try {
            act(c, page, action);
        } catch (const UserError&) {
        }
        pumpResults(worker, notifier, handle);
        check(page);
    }
    worker.Stop();
    return 0;
}
