#pragma once

// A page's side of a port that goes away and comes back (an adapter pulled
// out and plugged in again). The worker notices it, waits for the port and
// reopens it by itself (QueueThread::PortAway, comprt::ComPort::Reopen) and
// tells the page with kPortMessage; every device page and the Nivor dialog
// hand that message here, so that they all say the same once:
// "Порт отключён: <name>" when the port goes, "Порт снова подключён" when
// it is back. While the port is away the page sends nothing and shows no
// failure of the requests that were under way (the one line has said why);
// the user picking a port ends the wait.

#include <string>

#include "common/Console.h"

class PortRecovery {
public:
    explicit PortRecovery(Console& console) : m_console(console) {}

    // The worker's kPortMessage: `back` is its param1; `name` is the page's
    // port as the port list names it.
    void Notify(bool back, const std::string& name);
    bool away() const { return m_away; }
    // A failed request's text: to the console, unless the port is away.
    void Failure(const std::string& error);
    // The user picked a port (or none): whatever the worker was waiting for
    // is no longer the page's port.
    void Reset() { m_away = false; }

    // The name of port index `index` (1-based) of the program's port list;
    // "" for 0 and for an index beyond the list.
    static std::string PortName(int index);

private:
    Console& m_console;
    bool m_away = false;
};
