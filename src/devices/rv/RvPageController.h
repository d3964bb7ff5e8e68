#pragma once

// What the RV page does with its worker, without a toolkit: the requests each
// control posts with the data it takes from the page, the 50 ms timer's
// polls, the TX/RX lamps, and what every reply and failure writes into the
// page and the message console. The Qt page shows this and RvPageState;
// srvtool runs it headless.

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "common/Console.h"
#include "devices/PageFields.h"
#include "devices/PageResult.h"
#include "devices/PortRecovery.h"
#include "devices/rv/Readings.h"
#include "devices/rv/RvFrames.h"
#include "devices/rv/RvPageState.h"
#include "devices/rv/RvReplies.h"
#include "devices/rv/RvWorker.h"

namespace rv {

// The values the page shows that live only while it is open (the document
// keeps none of them).
struct RvLiveValues {
    // "Системные параметры"
    std::string version;  // "%X.%X"
    std::string crcPO;    // "0x%02X"
    // "Проливка"
    std::string integrator, nMeasure, middleCode, volume, impulseVolume, middleNoise, noiseSignal;
    // "Текущие значения"
    std::string expenditure, volumeDir, volumeRev, workTime;
    // "Тест пустой трубы": typed as text, sent as integers.
    bool disableEmptyPipe = false;
    std::string tepCode, tepNoize, tepCodeRange, tepNoizeRange, tepMeasureCount, tepHysteresis;
    // "Показания": the last raw reading and how many arrived.
    std::optional<std::int32_t> lastReading;
    long readings = 0;
};

class RvPageController {
public:
    using Queue = QueueThread<RVx2Common>;

    // The command buttons that share one click handler (SimpleCommand).
    enum class Command {
        ReadParam,
        ReadImpulseOut,
        ReadCalibr,
        SetCalibr,
        Advanced_Info,
        GetNetAddr,
        SetNetAddr,
        GetIntegrator,
        SetIntegrator,
        SetStSt,
        ClearMeasure,
        ReadTestEmptyPipe,
    };

    // How a status panel or a TX/RX lamp looks.
    enum class Lamp { Off, Olive, Red, Green, Yellow };

    static constexpr int kSystemPollTicks = 30;    // current values every 1.5 s
    static constexpr int kReadingsPollTicks = 4;   // readings every 200 ms
    static constexpr int kLampTicks = 2;
    static constexpr const char* kBadEmptyPipe = "Неверные настройки теста пустой трубы";

    // The page's speed list of the connection dialog.
    static const std::array<int, 4>& speeds();

    // The queue's worker must be started before the first result arrives.
    RvPageController(RvPageState& page, Queue& queue, Console& console);
    RvPageController(const RvPageController&) = delete;
    RvPageController& operator=(const RvPageController&) = delete;

    // Called after anything this controller shows has changed (not for
    // RvPageState's own fields, which have their callback).
    void setChangedCallback(std::function<void()> callback) { m_changed = std::move(callback); }

    // --- connection (PortSelectBox, TPortSetupForm)
    int portIndex() const { return m_portIndex; }
    void setPortIndex(int index);
    // ComboPortSpeed: 0 … 3 for 9600 … 1200; any other has no speed (0).
    int speedIndex() const { return m_speedIndex; }
    void setSpeedIndex(int index) { m_speedIndex = index; }
    // CSpinAddress: the address every request goes to.
    int address() const { return m_address; }
    void setAddress(int address);
    // The port is open (PortSelectBox is disabled and the button says "Закрыть").
    bool portOpen() const { return m_portOpen; }

    // --- the user's actions; a refused post raises the queue's message error.
    // Opens the selected port (forgetting the version and the pulse volume)
    // or closes the open one.
    void OpenPortButtonClick();
    void SimpleCommand(Command command);
    // Strictly read outputs group; its message error stops it before sending.
    void SetImpulseOutClick();
    // Any field not an integer of its width: kBadEmptyPipe, nothing sent.
    void SetTestEmptyPipeClick();
    // Bit0 (bit 0) and Bit1 (bit 1): sets the bit while its panel is unlit,
    // clears it while lit.
    void PanelClick(int bit);
    // TepCode and TepNoize from MiddleCode and MiddleNoise; a text that is
    // not a number stops the copy at that field with its conversion error.
    void CopyTestEmptyPipeClick();

    // --- values typed on the page
    RvLiveValues& live() { return m_live; }
    const RvLiveValues& live() const { return m_live; }
    IntField& netAddress() { return m_netAddress; }
    IntField& flowIntegrator() { return m_flowIntegrator; }
    IntField& noiseCancelStSt() { return m_noiseCancel; }
    const IntField& noiseCancelStSt() const { return m_noiseCancel; }
    std::string noiseStStLabel() const;  // "%g мс"
    // RadioButton1 … 4: mode 0 … 3; -1 none.
    int startStopMode() const { return m_startStopMode; }
    void setStartStopMode(int mode) { m_startStopMode = mode; }
    // CalibrPageControl's active tab: SetCalibr writes that table.
    CalibrGrid activeSheet() const { return m_activeSheet; }
    void setActiveSheet(CalibrGrid sheet) { m_activeSheet = sheet; }
    // The Observation box: readings polled every 200 ms while checked.
    bool observation() const { return m_observation; }
    void setObservation(bool on) { m_observation = on; }
    // The readings chart's samples; they stay across closing and reopening
    // the port until cleared or replaced by a loaded file.
    ReadingsStore& readings() { return m_readings; }
    const ReadingsStore& readings() const { return m_readings; }

    // --- status panels Bit0 … Bit5 and the lamps
    std::uint8_t statusByte() const { return m_status; }
    Lamp statusLamp(int bit) const;
    Lamp rxLamp() const { return m_rxCountdown > 0 ? Lamp::Yellow : Lamp::Green; }
    Lamp txLamp() const { return m_txCountdown > 0 ? Lamp::Yellow : Lamp::Green; }

    // --- the worker's notifications and the timer
    // A finished slot (1 succeeded or skipped, 0 failed): takes Front(),
    // pops it and acts on it. The result's detail is an exchange's register
    // (-1 for opening and closing); what it shows reaches the page through
    // the changed callback.
    PageResult HandleResult(bool success);
    // The worker's kPortMessage (param1: 1 back, 0 gone). While the port is
    // away the timer polls nothing; it goes on once the port is back.
    void PortNotified(bool back);
    bool portAway() const { return m_recovery.away(); }
    // The activity message: 1 transmitting (TX), 0 a reply arrived (RX).
    void Activity(std::intptr_t transmitting);
    // SystemTimerTimer, every 50 ms.
    void SystemTimerTimer();

private:
    class Replies;
    void send(std::uint8_t function, std::uint8_t reg, std::size_t n, std::size_t m);
    void read(std::uint8_t reg, std::size_t m) { send(FnRead, reg, 0, m); }
    void readCurrent();
    void changed();

    RvPageState& m_page;
    Queue& m_queue;
    Console& m_console;
    PortRecovery m_recovery;
    std::function<void()> m_changed;
    FrameBuffer m_frame{};

    int m_portIndex = 0;
    int m_speedIndex = 0;
    int m_address = 1;
    bool m_portOpen = false;

    RvLiveValues m_live;
    IntField m_netAddress{1, 255, 1};
    IntField m_flowIntegrator{1, 255, 1};
    IntField m_noiseCancel{0, 255, 5};
    int m_startStopMode = -1;
    CalibrGrid m_activeSheet = CalibrGrid::Direct;
    bool m_observation = false;
    ReadingsStore m_readings;

    std::uint8_t m_status = 0;
    int m_systemCountdown = kSystemPollTicks;
    int m_readingsCountdown = kReadingsPollTicks;
    int m_rxCountdown = 0;
    int m_txCountdown = 0;
};

}  // namespace rv
