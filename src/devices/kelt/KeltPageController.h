#pragma once

// What the Kelt page does with its worker, without a toolkit: the requests
// each button posts (with their sequences and conditions), and what a
// finished request writes into the page's fields and the message console.
// The Qt page and srvtool both drive the worker through this class.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "common/Console.h"
#include "devices/PageResult.h"
#include "devices/PortRecovery.h"
#include "devices/kelt/KeltPageState.h"
#include "devices/kelt/KeltThread.h"
#include "link/QueueThread.h"
#include "link/WaitingNotifier.h"

class KeltPageController {
public:
    using Queue = QueueThread<KeltCommon>;

    // Console lines of the results besides kParametersRead and
    // kParametersWritten.
    static constexpr const char* kBusyPause = "Ошибка обмена. Подождите 12 секунд";
    static constexpr const char* kNoDu20 = "Прибор не поддерживает Ду20";

    KeltPageController(KeltPageState& page, Queue& queue, Console& console);

    // The handlers of the page. Each posts its requests and makes the page
    // busy; a refused post raises the queue's message error ("Queue is not
    // empty") and leaves the page as it was.
    void cbPortChange(int position);  // 0 = no port, k = port index k
    void bnSetLevelClick();
    void bnGetAmpClick();
    void bnAutoClick();
    void bnResetClick();
    void bnGetUClick();
    void bnGetTClick();
    void bnGetVerCrcClick();
    void bnReadClick();
    // Raises "Прибор не поддерживает Ду20" (nothing posted) for models 11,
    // 14 and 17 with diameter 20.
    void bnWriteClick();

    // The worker's notification of a finished slot (param1: 1 succeeded or
    // skipped, 0 failed). Handles Front() and pops it; the result's detail
    // is the slot's sub, and it carries the amplitude when one was measured.
    PageResult HandleResult(bool success);
    // The worker's kPortMessage (param1: 1 back, 0 gone).
    void PortNotified(bool back) { m_recovery.Notify(back, PortRecovery::PortName(m_port)); }
    // The port went away and the worker waits for it: nothing is sent.
    bool portAway() const { return m_recovery.away(); }

    bool busy() const { return m_busy; }
    // cbPort: the selected position (0 = "-------"), selected at once by a
    // port change; the open's result keeps it or falls back to 0.
    int port() const { return m_port; }
    // lbAmp: the last amplitude, green when the link can work with it.
    int amplitude() const { return m_amplitude; }
    bool amplitudeGood() const { return kelt::AmplitudeGood(m_amplitude); }
    // The error text of the last failed request, if any failed since the
    // last call of clearFailure (an empty text: the transducer was busy).
    const std::optional<std::string>& lastFailure() const { return m_failure; }
    void clearFailure() { m_failure.reset(); }

    // The block inputs a write of the page's values carries.
    static kelt::KeltBlockValues WriteInputs(const KeltPageState& page);
    // The sub-command that reads the parameters of a model.
    static int ReadSub(int model);
    // The console text of a sub-command 23 answer.
    static std::string SignalText(int model, const KeltSignal& signal);
    static std::string BatteryText(int code);

private:
    KeltCommon& NextSlot(std::uint8_t sub);
    void PostExchange(std::uint8_t sub, std::uint32_t condition = 0);
    // Shows a successful exchange; true when it measured the amplitude.
    bool ShowResult(std::int32_t code, const KeltCommon& slot);
    void ShowEarlyBlock(const kelt::KeltBlockValues& v, int segments);
    void ShowLaterBlock(const kelt::KeltBlockValues& v, bool block4);
    void ShowBlock5(const kelt::KeltBlockValues& v);
    void ShowCoefficients(const kelt::KeltBlockValues& v, int segments);

    KeltPageState& m_page;
    Queue& m_queue;
    Console& m_console;
    PortRecovery m_recovery;
    bool m_busy = false;
    int m_port = 0;
    int m_amplitude = 0;
    std::optional<std::string> m_failure;
};

// Hands the result notifications to the controller until the page is idle
// (srvtool, tests: a thread that waits for the worker itself). False when no
// result came within `timeout` while the page was busy.
bool RunUntilIdle(KeltPageController& controller, WaitingNotifier& notifier, std::chrono::milliseconds timeout);
