// libFuzzer target for the readings file of the RV page: every input is a
// readings file as the page loads it. The parse keeps the samples before
// the first bad line; the samples join the page's store, the analysis runs
// over an axis range the input picks, and what the page would save from the
// store must load again with every sample. A crash, a sanitizer report or
// an exception escaping is a finding.
//
// Input: [axis minimum][axis maximum] file bytes…

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzInput.h"
#include "devices/rv/Readings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput input(data, size);
    const double axisMin = static_cast<double>(input.byte()) - 16.0;
    const double axisMax = axisMin + input.byte();
    const std::string text = input.restText();

    const rv::ReadingsParse loaded = rv::parseReadings(text);
    if (loaded.raw.size() != loaded.filtered.size()) {
        std::fprintf(stderr, "the parse gave %zu raw and %zu filtered samples\n", loaded.raw.size(),
                     loaded.filtered.size());
        std::abort();
    }
    rv::ReadingsStore store;
    store.take(7);
    store.append(loaded);
    if (const auto analysis = rv::analyzeReadings(store.raw(), axisMin, axisMax))
        (void)rv::analysisMessage(*analysis);

    const rv::ReadingsParse again = rv::parseReadings(rv::formatReadings(store.raw(), store.filtered()));
    if (again.error || again.raw.size() != store.size()) {
        std::fprintf(stderr, "saved readings load again as %zu of %zu samples%s%s\n", again.raw.size(), store.size(),
                     again.error ? ": " : "", again.error ? again.error->c_str() : "");
        std::abort();
    }
    return 0;
}
