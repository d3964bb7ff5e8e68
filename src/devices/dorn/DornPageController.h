#pragma once

// What the Dorn page does with its worker, without a toolkit: the request
// each control posts, and what a finished request writes into the page's
// fields, its port selection and the message console. The Qt page shows
// this state and forwards the worker's notifications to HandleResult.

#include <cstdint>

#include "common/Console.h"
#include "devices/PageResult.h"
#include "devices/PortRecovery.h"
#include "devices/dorn/DornPageState.h"
#include "devices/dorn/DornProtocol.h"
#include "link/QueueThread.h"

class DornPageController {
public:
    using Queue = QueueThread<DornCommon>;

    // The queue's worker must be started before the first handler runs.
    DornPageController(DornPageState& page, Queue& queue, Console& console);
    DornPageController(const DornPageController&) = delete;
    DornPageController& operator=(const DornPageController&) = delete;

    // The handlers of the page. Each posts its request and makes the page
    // busy; a refused post raises the queue's message error ("Queue is not
    // empty") and leaves the page as busy as it was.
    //
    // cbPort: `position` is the selector's position, 0 for "-------" and k
    // for port k of the list (below 0: none). It is selected at once and
    // opened by the worker; the result keeps it or falls back to 0.
    void cbPortChange(int position);
    // Coefficients A and B of the page at its diameter.
    void bnWriteClick();
    // The coefficients at the page's diameter, shown when they arrive.
    void bnReadClick();

    // The worker's notification of a finished slot (1 succeeded or skipped,
    // 0 failed): handles Front(), pops it and ends the busy state once
    // nothing is pending. An open's result carries the port kept.
    PageResult HandleResult(bool success);
    // The worker's kPortMessage (param1: 1 back, 0 gone).
    void PortNotified(bool back) { m_recovery.Notify(back, PortRecovery::PortName(m_port)); }
    // The port went away and the worker waits for it.
    bool portAway() const { return m_recovery.away(); }

    // A request is pending: the port selector and both buttons are disabled.
    bool busy() const { return m_busy; }
    // The port selector's position (0 = "-------").
    int port() const { return m_port; }
    // Whether the read and write buttons are enabled: not busy, a port
    // selected and not away, and a model with a pulse output.
    bool canExchange() const;

private:
    DornPageState& m_page;
    Queue& m_queue;
    Console& m_console;
    PortRecovery m_recovery;
    bool m_busy = false;
    int m_port = 0;
};
