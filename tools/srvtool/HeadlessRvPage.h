#pragma once

// The RV page without a window, for "rv poll" and "rv observe".

#include <cstdint>
#include <functional>
#include <string>

#include "Tool.h"
#include "devices/rv/RvPageController.h"
#include "devices/rv/RvPageState.h"
#include "devices/rv/RvWorker.h"
#include "link/WaitingNotifier.h"

namespace srvtool {

// The port, speed and address given to "rv".
struct RvConnection {
    std::string port;
    int baud = 9600;
    int address = 1;
};

// The page's controller over its own worker, whose notifications come
// through a waiting notifier instead of the window's message queue; the
// console lines are recorded.
class HeadlessRvPage {
public:
    // `portIndex` is the 1-based place of the port in the program's list.
    HeadlessRvPage(const RvConnection& connection, std::uint8_t portIndex);

    rv::RvPageController& controller() { return m_controller; }
    const rv::RvPageState& page() const { return m_page; }
    ConsoleRecorder& recorder() { return m_recorder; }

    // Opens the port as "Открыть" does (with its chain of reads) and runs the
    // page's 50 ms timer for `seconds`, handing each notification to the
    // controller and each handled result to `onResult`; `beforeClose` runs
    // when the time is up, then the port is closed and what is still queued
    // finishes. A port that does not open fails with the console's last line.
    void run(double seconds, const std::function<void(const PageResult&)>& onResult,
             const std::function<void()>& beforeClose = {});

private:
    void handle(const WaitingNotifier::Notification& n,
                const std::function<void(const PageResult&)>& onResult);

    ConsoleRecorder m_recorder;
    WaitingNotifier m_pump;
    RVx2Thread m_worker;
    rv::RvPageState m_page;
    rv::RvPageController m_controller;
    bool m_openFailed = false;
};

}  // namespace srvtool
