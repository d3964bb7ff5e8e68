#include "HeadlessSpprDlg.h"

#include <algorithm>
#include <chrono>

namespace srvtool {

namespace {

using Clock = std::chrono::steady_clock;

// The dialog's timer.
constexpr auto kPollInterval = std::chrono::seconds(1);
// Longest wait for one request's completion: above every timeout a request
// can run into.
constexpr auto kRequestLimit = std::chrono::seconds(30);

}  // namespace

HeadlessSpprDlg::HeadlessSpprDlg() : m_controller(m_worker, m_recorder.console) { m_worker.Start(m_pump); }

void HeadlessSpprDlg::open(std::uint8_t portIndex) {
    m_controller.cbPortChange(portIndex);
    run(false);
}

void HeadlessSpprDlg::measure(int silentPolls) {
    m_silentPolls = std::max(silentPolls, 1);
    m_failedPolls = 0;
    m_controller.bnStartClick();
    run(true);
}

void HeadlessSpprDlg::check(const PageResult& h) {
    const bool poll = h.code == nivor::kCommand && h.detail == nivor::kPoll;
    if (h.ok) {
        if (poll) m_failedPolls = 0;
        return;
    }
    if (poll && ++m_failedPolls < m_silentPolls) return;
    throw UserError(h.error);
}

void HeadlessSpprDlg::run(bool measuring) {
    Clock::time_point tick = Clock::now() + kPollInterval;
    while (m_worker.Pending() > 0 || (measuring && m_controller.measuring())) {
        const auto wait = measuring ? std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                   tick - Clock::now()),
                                               std::chrono::milliseconds(0))
                                    : std::chrono::duration_cast<std::chrono::milliseconds>(kRequestLimit);
        if (auto n = m_pump.next(wait)) {
            if (n->message == QueueNotifier::kPortMessage) m_controller.PortNotified(n->param1 != 0);
            if (n->message != QueueNotifier::kResultMessage) continue;
            const PageResult h = m_controller.HandleResult(n->param1 != 0);
            // The first poll of a measurement follows its start by a whole second.
            if (h.restartTimer) tick = Clock::now() + kPollInterval;
            check(h);
            continue;
        }
        if (!measuring) throw UserError("no completion of the request");
        if (Clock::now() >= tick) {
            m_controller.TimerTimer();
            tick = Clock::now() + kPollInterval;
        }
    }
}

}  // namespace srvtool
