#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

// The busy state of a device page or the Nivor dialog while its requests
// are pending: the application's busy cursor (the arrow with the hourglass:
// the window stays usable), the controls the page disables, and the focus
// given back afterwards. Disabling the focused control moves the focus on;
// where it went is remembered, and if the user left it there, the control
// that had it gets it back once it is enabled again.
class BusyState {
public:
    BusyState() = default;
    ~BusyState();  // restores the cursor of a page closed while busy
    BusyState(const BusyState&) = delete;
    BusyState& operator=(const BusyState&) = delete;

    bool busy() const { return m_busy; }

    // Enters or leaves the busy state. `enable` sets the controls' enabled
    // states by busy(); it runs whether or not the state changes.
    void Set(bool busy, const std::function<void()>& enable);

private:
    bool m_busy = false;
    QPointer<QWidget> m_focusBefore;
    QPointer<QWidget> m_focusAfter;
};
