#pragma once

// What the Nivor acquisition dialog does, without a toolkit: the settings
// with their mutual rules (the two counted inputs exclude each other, the
// mode decides the criterion field and whether an input is chosen for the
// pulse stop, the temperature channel decides whether the temperature is
// typed), the requests each action posts, what a finished request shows
// and the busy and idle decisions; the values it keeps from a measurement
// make the new package entry. The Qt dialog shows this state, forwards its
// controls' input and the worker's notifications, and runs the one-second
// timer; srvtool's "nivor measure" runs it without a window.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/Console.h"
#include "devices/PageResult.h"
#include "devices/PortRecovery.h"
#include "devices/nivor/NivorProtocol.h"
#include "link/QueueThread.h"

class SpprController {
public:
    using Queue = QueueThread<SpprCommon>;

    // Positions of the mode list: "Остановка по времени", "Остановка по
    // импульсам", "Старт/стоп 1", "Старт/стоп 2".
    enum Mode : int { kModeTime = 0, kModePulses = 1, kModeStartStop1 = 2, kModeStartStop2 = 3 };
    // Positions of the temperature channel list: "ТСП 1", "ТСП 2", "Не
    // использовать".
    enum TempChannel : int { kTsp1 = 0, kTsp2 = 1, kNoTemperature = 2 };
    // The field beside the criterion label.
    enum class Criterion { Time, Pulses, Blank };

    // What the reference value typed beside the results is, by the target
    // package's method: a volume, a mass or a reference meter's flow.
    enum class Reference { Volume, Mass, Flow };

    // Limits of the typed values.
    static constexpr double kTimeMin = 0.0002, kTimeMax = 4095.9998;
    static constexpr int kPulsesMin = 0, kPulsesMax = 16777215;

    static const std::vector<std::string>& modeItems();
    static const std::vector<std::string>& tempChannelItems();
    static const std::vector<std::string>& sensorItems();

    // The queue's worker must be started before the first handler runs.
    SpprController(Queue& queue, Console& console);
    SpprController(const SpprController&) = delete;
    SpprController& operator=(const SpprController&) = delete;

    // ---- settings -------------------------------------------------------
    // Inputs are 0 … 3 (shown as "1" … "4"). Each of the two counted
    // inputs offers the four inputs without the one chosen in the other
    // list; choosing the other list's input is refused (nothing changes).
    int input1() const { return m_input1; }
    int input2() const { return m_input2; }
    std::vector<int> channel1Inputs() const;
    std::vector<int> channel2Inputs() const;
    void cbChannel1Change(int input);
    void cbChannel2Change(int input);

    int mode() const { return m_mode; }
    // Sets the mode's criterion field and label and the pulse-mode input
    // list: enabled in the pulse mode (the remembered input selected when
    // none is), disabled otherwise with its input remembered and cleared.
    void cbModeChange(int mode);
    Criterion criterion() const;
    std::string criterionLabel() const;
    bool channelEnabled() const { return m_mode == kModePulses; }
    // The input the pulse stop counts, -1 when none is selected.
    int channel() const { return m_channel; }
    void cbChannelChange(int input);

    double measurementTime() const { return m_time; }
    void setMeasurementTime(double seconds);
    std::int32_t pulseCount() const { return m_pulses; }
    void setPulseCount(std::int64_t count);

    int tempChannel() const { return m_tempChannel; }
    // "Не использовать" makes the temperature typed by the user and the
    // sensor type meaningless.
    void cbTempChChange(int channel);
    bool sensorTypeEnabled() const { return m_tempChannel != kNoTemperature; }
    bool temperatureEditable() const { return m_tempChannel == kNoTemperature; }
    int sensorType() const { return m_sensorType; }
    void setSensorType(int type);

    // The temperature shown in pnTemp: measured, or typed without a sensor.
    double temperature() const { return m_temperature; }
    void setTemperature(double celsius) { m_temperature = celsius; }
    // The reference quantity typed into edVolMass.
    double volMass() const { return m_volMass; }
    void setVolMass(double value) { m_volMass = value; }

    // ---- the target package ------------------------------------------------
    // What the package entries go to takes as its reference value, or no
    // package.
    void setTarget(std::optional<Reference> reference) { m_target = reference; }
    bool hasTarget() const { return m_target.has_value(); }
    std::optional<Reference> target() const { return m_target; }
    // The label of edVolMass by the target's reference ("" without one).
    std::string volMassLabel() const;

    // ---- actions ------------------------------------------------------------
    // A refused post raises the queue's message error ("Queue overflow",
    // "Queue is not empty"); what was posted before it stays posted.
    //
    // `position` 0 is "-------", k port k of the list. The pnU text is
    // emptied; the open result keeps the position or falls back to 0.
    void cbPortChange(int position);
    // The temperature (when a channel is used), then the mode's command,
    // which runs only if the temperature was read.
    void bnStartClick();
    // The temperature (when a channel is used), then the stop command,
    // which goes whether the temperature was read or not.
    void bnStopClick();
    // The once-a-second poll: posted only when a port is selected and no
    // other request waits; it never makes the dialog busy and its failure
    // is not reported.
    void TimerTimer();

    // The worker's notification of a finished slot: handles Front(), pops
    // it and ends the busy state once only polls are pending. The result's
    // detail is the command of an exchange; an open's result carries the
    // port kept; a started measurement asks for the timer's restart, so that
    // the first poll follows it a second later.
    PageResult HandleResult(bool success);
    // The worker's kPortMessage (param1: 1 back, 0 gone). While the port is
    // away the timer polls nothing and no action is offered.
    void PortNotified(bool back) { m_recovery.Notify(back, PortRecovery::PortName(m_port)); }
    bool portAway() const { return m_recovery.away(); }

    // ---- what the dialog shows ----------------------------------------------
    // A request other than a poll is pending.
    bool busy() const { return m_foreground > 0; }
    bool measuring() const { return m_measuring; }
    int port() const { return m_port; }
    bool portEnabled() const { return !busy() && !m_measuring; }
    bool startEnabled() const { return !busy() && !m_measuring && !m_recovery.away(); }
    bool stopEnabled() const { return !busy() && m_measuring && !m_recovery.away(); }
    bool toPackageEnabled() const { return !busy() && !m_measuring && m_target.has_value(); }

    // "6.58 В", or "" when no voltage is known.
    const std::string& voltageText() const { return m_voltageText; }
    // The voltage shown, V; none while pnU is empty.
    std::optional<double> voltage() const { return m_voltage; }
    // The shown voltage is below the code 17 (drawn in red).
    bool voltageLow() const { return m_voltageLow; }
    const std::string& tqText() const { return m_tqText; }
    const std::string& t1Text() const { return m_t1Text; }
    const std::string& n1Text() const { return m_n1Text; }
    const std::string& n2Text() const { return m_n2Text; }

    double tq() const { return m_tq; }
    double t1() const { return m_t1; }
    std::int32_t n1() const { return m_n1; }
    std::int32_t n2() const { return m_n2; }

private:
    // Posts the slot already filled; counts it when it is not a poll and
    // was taken.
    void Post(std::int32_t code, std::uint32_t condition);
    void PostTemperature();
    void ShowVoltage(std::uint8_t state);
    void ClearVoltage();

    Queue& m_queue;
    Console& m_console;
    PortRecovery m_recovery;
    int m_foreground = 0;
    int m_port = 0;

    int m_input1 = 0, m_input2 = 1;
    int m_mode = kModeTime;
    int m_channel = -1;
    int m_rememberedChannel = 0;
    double m_time = 5.0;
    std::int32_t m_pulses = 5;
    int m_tempChannel = kTsp1;
    int m_sensorType = 0;

    bool m_measuring = false;
    bool m_averaging = false;
    double m_temperature = 0.0;
    double m_volMass = 0.0;
    double m_tq = 0.0, m_t1 = 0.0;
    std::int32_t m_n1 = 0, m_n2 = 0;
    std::optional<Reference> m_target;

    std::string m_voltageText;
    std::optional<double> m_voltage;
    bool m_voltageLow = false;
    std::string m_tqText, m_t1Text, m_n1Text, m_n2Text;
};
