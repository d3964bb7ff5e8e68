#pragma once

// The device fuzz targets' bench: the page's real worker thread on the
// scripted port (ScriptedPort.h), its notifications handed to the page's
// controller on the fuzz thread as the window's message loop would.
//
// An input is [n][n action bytes] followed by everything the device says.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "FuzzInput.h"
#include "ScriptedPort.h"
#include "link/WaitingNotifier.h"

struct BenchInput {
    std::span<const std::uint8_t> actions;
    std::span<const std::uint8_t> device;

    explicit BenchInput(FuzzInput& input) {
        actions = input.bytes(input.byte() % 17);
        device = input.rest();
        fuzzport::setScript(device.data(), device.size());
    }
};

// Hands every result of the worker to `handle(success)` until nothing is
// pending (a handler may post follow-up requests).
template <class Worker, class Handle>
void pumpResults(Worker& worker, WaitingNotifier& notifier, Handle handle) {
    while (worker.Pending() > 0) {
        const auto result = notifier.nextResult(std::chrono::seconds(20));
        if (!result) {
            std::fprintf(stderr, "the worker sent no result within 20 s\n");
            std::abort();
        }
        handle(result->param1 != 0);
    }
}
