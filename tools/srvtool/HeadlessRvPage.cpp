#include "HeadlessRvPage.h"

#include <algorithm>
#include <chrono>

#include "comprt/ComPort.h"

namespace srvtool {

namespace {

constexpr auto kRequestLimit = std::chrono::seconds(30);

}  // namespace

HeadlessRvPage::HeadlessRvPage(const RvConnection& connection, std::uint8_t portIndex)
    : m_controller(m_page, m_worker, m_recorder.console) {
    m_worker.Start(m_pump);
    m_controller.setPortIndex(portIndex - 1);
    const auto& speeds = rv::RvPageController::speeds();
    const auto speed = std::find(speeds.begin(), speeds.end(), connection.baud);
    m_controller.setSpeedIndex(speed == speeds.end() ? -1 : static_cast<int>(speed - speeds.begin()));
    m_controller.setAddress(connection.address);
}

void HeadlessRvPage::handle(const WaitingNotifier::Notification& n,
                            const std::function<void(const PageResult&)>& onResult) {
    if (n.message == QueueNotifier::kActivityMessage) {
        m_controller.Activity(n.param1);
        return;
    }
    if (n.message == QueueNotifier::kPortMessage) {
        m_controller.PortNotified(n.param1 != 0);
        return;
    }
    const PageResult h = m_controller.HandleResult(n.param1 != 0);
    if (h.code == rv::kOpenPort && !h.ok) m_openFailed = true;
    onResult(h);
}

void HeadlessRvPage::run(double seconds, const std::function<void(const PageResult&)>& onResult,
                         const std::function<void()>& beforeClose) {
    using Clock = std::chrono::steady_clock;
    const auto tick = std::chrono::milliseconds(50);
    const Clock::time_point start = Clock::now();
    const Clock::time_point end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    m_openFailed = false;
    m_controller.OpenPortButtonClick();
    Clock::time_point next = start + tick;
    while (!m_openFailed && Clock::now() < end) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(next, end) - Clock::now());
        if (auto n = m_pump.next(std::max(wait, std::chrono::milliseconds(0)))) {
            handle(*n, onResult);
            continue;
        }
        if (Clock::now() >= next) {
            m_controller.SystemTimerTimer();
            next += tick;
        }
    }
    if (beforeClose) beforeClose();
    if (m_controller.portOpen()) m_controller.OpenPortButtonClick();
    // What is still queued finishes before the port is left.
    while (m_worker.Pending() > 0) {
        auto n = m_pump.next(kRequestLimit);
        if (!n) throw UserError("no completion of the request");
        handle(*n, onResult);
    }
    if (m_openFailed)
        throw UserError(m_recorder.lines.empty() ? comprt::kPortNotOpen : m_recorder.lines.back());
}

}  // namespace srvtool
