#pragma once

// The Nivor dialog without a window, for "nivor measure".

#include <cstdint>

#include "Tool.h"
#include "devices/nivor/NivorProtocol.h"
#include "devices/nivor/SpprController.h"
#include "link/WaitingNotifier.h"

namespace srvtool {

// The dialog's controller over its own worker, whose notifications come
// through a waiting notifier instead of the window's message queue; the
// console lines are recorded. The caller makes the dialog's settings on
// controller() before measure().
class HeadlessSpprDlg {
public:
    HeadlessSpprDlg();

    SpprController& controller() { return m_controller; }
    ConsoleRecorder& recorder() { return m_recorder; }

    // Opens the port of the 1-based place `portIndex` of the program's list
    // as choosing it in "COM-порт:" does.
    void open(std::uint8_t portIndex);
    // One measurement as the dialog runs it: "Старт", then the one-second
    // poll until the measurement has ended (the controller stops a finished
    // measurement itself). A failed poll is skipped as the dialog skips it;
    // `silentPolls` failed polls in a row end the measurement with the last
    // one's text, since there is no user to close the dialog. A request
    // other than a poll that fails ends it with its text (the line the
    // dialog writes to the console).
    void measure(int silentPolls);

private:
    // Hands the worker's notifications to the controller until no request
    // is pending and, with `measuring`, the measurement has ended; the poll
    // timer runs meanwhile. Throws on a failure as measure() says.
    void run(bool measuring);
    void check(const PageResult& h);

    ConsoleRecorder m_recorder;
    WaitingNotifier m_pump;
    SpprThread m_worker;
    SpprController m_controller;
    int m_silentPolls = 1;
    int m_failedPolls = 0;
};

}  // namespace srvtool
