#include "devices/dorn/DornPageController.h"

#include <algorithm>

DornPageController::DornPageController(DornPageState& page, Queue& queue, Console& console)
    : m_page(page), m_queue(queue), m_console(console), m_recovery(console) {}

void DornPageController::cbPortChange(int position) {
    m_port = std::max(position, 0);
    m_recovery.Reset();
    DornCommon& slot = m_queue.Slot();
    slot.port = m_port;
    m_queue.Post(dorn::kOpenPort, 0);
    m_busy = true;
}

void DornPageController::bnWriteClick() {
    DornCommon& slot = m_queue.Slot();
    slot.A = m_page.a().value();
    slot.B = m_page.b().value();
    slot.du = m_page.du();
    m_queue.Post(dorn::kWriteCoefficients, 0);
    m_busy = true;
}

void DornPageController::bnReadClick() {
    m_queue.Slot().du = m_page.du();
    m_queue.Post(dorn::kReadCoefficients, 0);
    m_busy = true;
}

bool DornPageController::canExchange() const {
    return !m_busy && m_port > 0 && !m_recovery.away() && m_page.hasPulseOutput();
}

PageResult DornPageController::HandleResult(bool success) {
    Queue::QueueItem& item = m_queue.Front();
    PageResult result = PageResult::For(item, success);
    switch (item.code) {
    case dorn::kOpenPort:
        // An open failure is not logged: the selector going back to
        // "-------" says it.
        m_port = success ? item.param.port : 0;
        result.port = m_port;
        m_recovery.Reset();  // a port lost before this open is no longer the page's
        break;
    case dorn::kWriteCoefficients:
        if (success)
            m_console.message(kParametersWritten);
        else
            m_recovery.Failure(item.error);
        break;
    case dorn::kReadCoefficients:
        if (success) {
            m_console.message(kParametersRead);
            m_page.a().setValue(item.param.A);
            m_page.b().setValue(item.param.B);
        } else {
            m_recovery.Failure(item.error);
        }
        break;
    }
    return FinishResult(m_queue, result, m_busy);
}
