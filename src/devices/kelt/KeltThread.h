#pragma once

// The Kelt worker: serial exchanges with the transducer through the
// ОРБ-КЕЛТ adapter (models 0 … 8) or directly (models 9 … 18).

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "comprt/ComPort.h"
#include "devices/LoggedPort.h"
#include "devices/kelt/KeltBlocks.h"
#include "devices/kelt/KeltFrames.h"
#include "link/QueueThread.h"

// One request slot of the Kelt worker.
struct KeltCommon {
    // The sub-command of an exchange; the port index of an open request; the
    // last adapter level command of automatic tuning.
    std::uint8_t sub = 0;
    // Short results: the amplitude, a voltage, type or temperature code, the
    // temperature correction read or written, the firmware answer.
    // After a block read or write: the block's bytes.
    std::array<std::uint8_t, 146> data{};
    std::int32_t model = 0;  // model index 0 … 18
    // A block write's inputs as the page holds them; a block read's result.
    kelt::KeltBlockValues values;
    // The result of kSignal.
    KeltSignal signal;
};

namespace kelt {

// Request codes of KeltThread.
enum RequestCode : std::int32_t {
    kOpenSlow = 0,
    kOpenFast = 1,
    kExchange = 2,
    kResetAdapter = 3,
    kPause = 4,
    kAutoTune = 5,
};

// The adapter's signal amplitude the link can work with: automatic tuning
// stops at the first level that gives it, the page shows it green.
inline bool AmplitudeGood(int amplitude) { return amplitude >= 25 && amplitude <= 80; }

// The exchanges over an open port. Failures are UserErrors with the
// protocol's texts; a busy transducer (echo 255 on the older protocol) fails
// with an empty text.
class KeltLink {
public:
    using Sleep = std::function<void(std::chrono::milliseconds)>;

    // Frames go into `log` when there is one.
    explicit KeltLink(comprt::ComPort& port, Sleep sleep = {}, FrameLog* log = nullptr);

    // The adapter reset sequence: DTR and RTS down, 200 ms, DTR up, 100 ms.
    void ResetAdapter();
    // One exchange of the sub-command in param.sub (break first for models 15 and up).
    void Exchange(KeltCommon& param);
    // Automatic tuning: levels 3, 2, 1, 0 until the amplitude is 25 … 80.
    void AutoTune(KeltCommon& param);

private:
    // The exchange of models 0 … 8: through the ОРБ-КЕЛТ adapter, asked
    // for first, with every command byte echoed.
    void ExchangeViaAdapter(KeltCommon& param);
    // The exchange of models 9 … 18: straight to the transducer, which is
    // identified first; blocks travel in checksummed frames.
    void ExchangeDirect(KeltCommon& param);
    void Send(std::span<const std::uint8_t> bytes);
    void SendByte(std::uint8_t byte);
    // Reads exactly `count` bytes; `judge` gives the frame log's verdict.
    template <class Judge>
    void Receive(std::uint8_t* out, std::size_t count, Judge&& judge);
    std::uint8_t ReadByte();  // with nothing to check but its arrival
    // Reads one echo byte by the older protocol's rule.
    void Echo(std::uint8_t sent, std::uint8_t sub);
    // Reads one echo byte that must equal `sent`.
    void StrictEcho(std::uint8_t sent);
    // Reads `count` bytes and checks the checksum of all but the last two.
    void ReadChecked(std::uint8_t* out, std::size_t count);
    // Sends a write frame and reads it back as the transducer received it:
    // the echo of the command byte (by the older protocol's rule for `sub`
    // when `older`), then the rest, which must equal `expected`.
    void SendAndCompare(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> expected, bool older,
                        std::uint8_t sub);
    void Wait(int ms);

    comprt::ComPort& m_port;
    LoggedPort m_wire;
    Sleep m_sleep;
};

}  // namespace kelt

// The worker of the Kelt page: request codes 0 … 5 (kelt::RequestCode).
class KeltThread : public QueueThread<KeltCommon> {
public:
    KeltThread() = default;
    ~KeltThread() override;

    // What the worker's waits do (a real sleep by default): tests shorten
    // them, the page makes them end at once when it closes. Set before Start.
    void setSleep(kelt::KeltLink::Sleep sleep) { m_sleep = std::move(sleep); }

protected:
    void Process(std::int32_t code, KeltCommon& param) override;
    // The port went away: the worker waits for it and reopens it.
    bool PortAway() const override { return m_port.Lost(); }
    bool PortBack() override { return m_port.Reopen(); }

private:
    comprt::ComPort m_port;
    std::shared_ptr<FrameLog> m_log;  // of the open port
    kelt::KeltLink::Sleep m_sleep;
};
