// srvtool ports, dorn, rv, nivor: the device jobs, through the same workers
// the device pages use. Each command opens its port with the worker's own
// open request, runs its requests one after the other and prints JSON;
// "rv poll" and "nivor measure" run the RV page's and the Nivor dialog's
// controllers without a window instead.

#include "Tool.h"
#include "HeadlessSpprDlg.h"
#include "ReadingsCommands.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "common/MathError.h"
#include "comprt/ComPort.h"
#include "devices/dorn/DornProtocol.h"
#include "devices/rv/RvPageController.h"
#include "devices/rv/RvReplies.h"
#include "devices/rv/RvWorker.h"
#include "link/WaitingNotifier.h"

namespace srvtool {

namespace {

using nlohmann::json;

// Longest wait for one request's completion: above every timeout and wait a
// request can run into.
constexpr auto kRequestLimit = std::chrono::seconds(30);

// The 1-based index of a port name in the program's port list. srvtool
// builds its own list: a name the machine's list does not hold (a devsim
// pty, for example) is put at its end.
std::uint8_t portIndex(const std::string& name) {
    auto names = comprt::ComPort::PortList().Names();
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(names));
    }
    const auto& list = comprt::ComPort::PortList().Names();
    const auto it = std::find(list.begin(), list.end(), name);
    if (it == list.end() || it - list.begin() >= 255) throw UserError(comprt::kPortNotOpen);
    return static_cast<std::uint8_t>(it - list.begin() + 1);
}

// Waits for the completion of the oldest pending request. On success
// returns a copy of the slot's param; on failure throws the slot's error
// text.
template <class T>
T finishRequest(QueueThread<T>& worker, WaitingNotifier& pump) {
    const auto done = pump.nextResult(kRequestLimit);
    if (!done) throw UserError("no completion of the request");
    auto& item = worker.Front();
    const T param = item.param;
    const std::string error = item.error;
    worker.Pop();
    if (done->param1 == 0) throw UserError(error);
    return param;
}

// Posts the request filled into Slot() and waits for its completion.
template <class T>
T runRequest(QueueThread<T>& worker, WaitingNotifier& pump, std::int32_t code,
             std::uint32_t condition = 0) {
    worker.Post(code, condition);
    return finishRequest(worker, pump);
}

json consoleJson(const ConsoleRecorder& recorder) { return recorder.lines; }

// ---------------------------------------------------------------- ports

void addPortsCommand(CLI::App& app) {
    auto* cmd = app.add_subcommand("ports", "print the port list");
    cmd->callback([] {
        // Beside the names, what the machine tells of each device that has
        // a hint (a USB adapter's ids, names and serial number).
        const comprt::ComPort::ComList& list = comprt::ComPort::PortList();
        json hints = json::object();
        for (std::size_t i = 0; i < list.Count(); ++i)
            if (!list.Hint(i).empty()) hints[list.Name(i)] = list.Hint(i);
        print(json{{"ports", list.Names()}, {"hints", hints}});
    });
}

// ---------------------------------------------------------------- dorn

void addDornCommands(CLI::App& app) {
    struct Options {
        std::string port;
        int du = 2;
        double a = 0.0, b = 0.0;
    };
    auto o = std::make_shared<Options>();
    auto* cmd = app.add_subcommand("dorn", "read or write the coefficients of a Dorn transducer");
    cmd->add_option("--port", o->port, "port name or device path")->required();
    cmd->add_option("--du", o->du, "diameter code 2 … 11")->required()->check(CLI::Range(2, 11));
    cmd->require_subcommand(1);
    auto* read = cmd->add_subcommand("read", "read A and B");
    auto* write = cmd->add_subcommand("write", "write A and B");
    write->add_option("--A", o->a, "coefficient A")->required();
    write->add_option("--B", o->b, "coefficient B")->required();

    const auto run = [o](std::int32_t code) {
        WaitingNotifier pump;
        DornThread worker;
        worker.Start(pump);
        worker.Slot().port = portIndex(o->port);
        runRequest(worker, pump, dorn::kOpenPort);
        DornCommon& slot = worker.Slot();
        slot.du = o->du;
        slot.A = o->a;
        slot.B = o->b;
        const DornCommon result = runRequest(worker, pump, code);
        print(json{{"A", result.A}, {"B", result.B}});
    };
    read->callback([run] { run(dorn::kReadCoefficients); });
    write->callback([run] { run(dorn::kWriteCoefficients); });
}

// ---------------------------------------------------------------- rv

// The decoded contents of a reply, with the JSON keys of the blocks.
class JsonReplies : public rv::ReplyHandler {
public:
    json out = json::object();

    void system(const rv::SystemBlock& b) override {
        out = {{"versionHigh", b.versionHigh}, {"versionLow", b.versionLow}, {"serial", b.serial},
               {"duIndex", b.duIndex}};
    }
    void firmwareSum(std::uint16_t sum) override { out = {{"checksum", sum}}; }
    void calibration(rv::CalibrGrid, const rv::CalibrationBlock& b) override { out = calibrationJson(b); }
    void outputs(const rv::OutputsBlock& b) override { out = outputsJson(b); }
    void status(std::uint8_t s) override { out = {{"status", s}}; }
    void address(std::uint8_t a) override { out = {{"address", a}}; }
    void integrator(std::uint8_t i) override { out = {{"integrator", i}}; }
    void current(const rv::CurrentValuesBlock& b) override {
        out = {{"status", b.status}, {"sumCode", b.sumCode}, {"count", b.count}, {"pulses", b.pulses},
               {"flow", b.flow}};
        if (b.length >= rv::CurrentValuesBlock::kWithNoise) out["noise"] = b.noise;
        if (b.length >= rv::CurrentValuesBlock::kFull) {
            out["workTime"] = b.workTime;
            out["volumePlus"] = b.volumePlus();
            out["volumeMinus"] = b.volumeMinus();
        }
    }
    void workTime(std::uint32_t s) override { out = {{"seconds", s}}; }
    void observation(const rv::ObservationBlock& b) override { out = {{"status", b.status}, {"code", b.code}}; }
    void emptyPipe(const rv::EmptyPipeBlock& b) override { out = emptyPipeJson(b); }

    static json calibrationJson(const rv::CalibrationBlock& b) {
        return {{"A", b.a}, {"B", b.b}, {"bound", b.upper}, {"gmax", b.gmax}, {"gpor", b.gpor}};
    }
    static json outputsJson(const rv::OutputsBlock& b) {
        return {{"weight", b.weight},
                {"pulseLength", b.pulseLength},
                {"card", b.flags & 0x03},
                {"dispenser", (b.flags >> 2) & 1},
                {"reverseMode", (b.flags >> 3) & 0x03}};
    }
    static json emptyPipeJson(const rv::EmptyPipeBlock& b) {
        return {{"disabled", b.disabled},         {"codeThreshold", b.codeThreshold},
                {"noiseThreshold", b.noiseThreshold}, {"codeSpread", b.codeSpread},
                {"noiseSpread", b.noiseSpread},   {"measurements", b.measurements},
                {"hysteresis", b.hysteresis}};
    }
};

// One RV meter on an open port.
class RvSession {
public:
    RvSession(const std::string& port, int baud, int address) : m_address(static_cast<std::uint8_t>(address)) {
        m_worker.Start(m_pump);
        rv::postOpen(m_worker, portIndex(port), baud);
        finish();
    }

    // One exchange; the reply's contents go to `handler`, its messages to
    // the recorder's console. A failed exchange, an error reply or a dropped
    // reply: UserError.
    void exchange(std::uint8_t function, std::uint8_t reg, std::span<const std::uint8_t> data,
                  std::size_t replyLength, rv::ReplyHandler& handler) {
        std::copy(data.begin(), data.end(), m_frame.begin() + 3);
        rv::sendRequest(m_worker, m_frame, m_address, function, reg, data.size(), replyLength);
        const RVx2Common param = finish();
        const std::size_t count = rv::takeReply(param, m_frame);
        const rv::ReplyResult result = rv::dispatchReply(m_frame, count, handler, recorder.console);
        switch (result.outcome) {
        case rv::ReplyOutcome::Applied: return;
        case rv::ReplyOutcome::ErrorReply: throw UserError(rv::errorMessage(result.errorCode));
        case rv::ReplyOutcome::BadLength: throw UserError(rv::kBadLength);
        case rv::ReplyOutcome::BadData: throw UserError(rv::kBadData);
        default: throw UserError(rv::outcomeText(result.outcome));
        }
    }

    ConsoleRecorder recorder;

private:
    RVx2Common finish() { return finishRequest(m_worker, m_pump); }

    WaitingNotifier m_pump;
    RVx2Thread m_worker;
    rv::FrameBuffer m_frame{};
    std::uint8_t m_address;
};

template <class T>
T field(const json& j, const char* key) {
    if (!j.contains(key)) throw UserError(std::string("missing key ") + key);
    return j.at(key).get<T>();
}

template <class T>
T byteField(const json& j, const char* key, long long low = 0, long long high = 255) {
    const auto v = field<long long>(j, key);
    if (v < low || v > high) throw UserError(std::string("value out of range: ") + key);
    return static_cast<T>(v);
}

// The data of a write request from its JSON form.
std::vector<std::uint8_t> writeData(std::uint8_t reg, const json& j) {
    using namespace rv;
    std::vector<std::uint8_t> data(findRegister(reg)->writeData, 0);
    switch (reg) {
    case RegOutputs: {
        OutputsBlock b;
        b.weight = field<float>(j, "weight");
        b.pulseLength = byteField<std::uint8_t>(j, "pulseLength");
        b.flags = static_cast<std::uint8_t>(byteField<int>(j, "card", 0, 3) | (byteField<int>(j, "dispenser", 0, 1) << 2) |
                                            (byteField<int>(j, "reverseMode", 0, 3) << 3));
        encode(b, std::span<std::uint8_t, OutputsBlock::kSize>(data.data(), OutputsBlock::kSize));
        break;
    }
    case RegCalibration:
    case RegReverseCalibration: {
        CalibrationBlock b;
        const auto a = field<std::vector<float>>(j, "A");
        const auto bb = field<std::vector<float>>(j, "B");
        const auto bound = field<std::vector<std::int32_t>>(j, "bound");
        if (a.size() != 5 || bb.size() != 5 || bound.size() != 4)
            throw UserError("A and B need 5 values, bound 4");
        std::copy(a.begin(), a.end(), b.a.begin());
        std::copy(bb.begin(), bb.end(), b.b.begin());
        std::copy(bound.begin(), bound.end(), b.upper.begin());
        b.gmax = j.value("gmax", 0.0f);
        b.gpor = j.value("gpor", 0.0f);
        encode(b, std::span<std::uint8_t, CalibrationBlock::kSize>(data.data(), CalibrationBlock::kSize));
        break;
    }
    case RegAddress: data[0] = byteField<std::uint8_t>(j, "address"); break;
    case RegIntegrator: data[0] = byteField<std::uint8_t>(j, "integrator"); break;
    case RegStartStop:
        data[0] = byteField<std::uint8_t>(j, "mode", 0, 3);
        data[1] = byteField<std::uint8_t>(j, "antiBounce");
        break;
    case RegClearCurrent: break;
    case RegEmptyPipe: {
        EmptyPipeBlock b;
        b.disabled = byteField<std::uint8_t>(j, "disabled", 0, 1);
        b.codeThreshold = byteField<std::int32_t>(j, "codeThreshold", INT32_MIN, INT32_MAX);
        b.noiseThreshold = byteField<std::uint16_t>(j, "noiseThreshold", 0, 65535);
        b.codeSpread = byteField<std::uint16_t>(j, "codeSpread", 0, 65535);
        b.noiseSpread = byteField<std::uint16_t>(j, "noiseSpread", 0, 65535);
        b.measurements = byteField<std::uint8_t>(j, "measurements");
        b.hysteresis = byteField<std::uint8_t>(j, "hysteresis");
        encode(b, std::span<std::uint8_t, EmptyPipeBlock::kSize>(data.data(), EmptyPipeBlock::kSize));
        break;
    }
    default: throw UserError("register cannot be written: " + std::string(findRegister(reg)->name));
    }
    return data;
}

// The JSON of written data, decoded back from the bytes sent.
json writtenJson(std::uint8_t reg, const std::vector<std::uint8_t>& d) {
    using namespace rv;
    switch (reg) {
    case RegOutputs:
        return JsonReplies::outputsJson(decodeOutputs(std::span<const std::uint8_t, OutputsBlock::kSize>(d.data(), 6)));
    case RegCalibration:
    case RegReverseCalibration:
        return JsonReplies::calibrationJson(
            decodeCalibration(std::span<const std::uint8_t, CalibrationBlock::kSize>(d.data(), 64)));
    case RegAddress: return {{"address", d[0]}};
    case RegIntegrator: return {{"integrator", d[0]}};
    case RegStartStop: return {{"mode", d[0]}, {"antiBounce", d[1]}};
    case RegEmptyPipe:
        return JsonReplies::emptyPipeJson(
            decodeEmptyPipe(std::span<const std::uint8_t, EmptyPipeBlock::kSize>(d.data(), 13)));
    default: return json::object();
    }
}

// The current values the page shows after one current-values reply.
json currentValuesJson(const rv::RvPageController& c, long long ms) {
    const rv::RvLiveValues& v = c.live();
    return {{"ms", ms},
            {"status", c.statusByte()},
            {"Integrator", v.integrator},
            {"NMeasure", v.nMeasure},
            {"MiddleCode", v.middleCode},
            {"MiddleNoise", v.middleNoise},
            {"NoiseSignal", v.noiseSignal},
            {"ImpulseVolume", v.impulseVolume},
            {"Volume", v.volume},
            {"Expenditure", v.expenditure},
            {"WorkTime", v.workTime},
            {"VolumeDir", v.volumeDir},
            {"VolumeRev", v.volumeRev}};
}

// rv poll: the RV page without a window. Opens the port as the page's
// "Открыть" does (with its chain of reads), runs the page's 50 ms timer for
// the given time, handing the worker's notifications to the page's
// controller in between, then closes the port. Prints what the page showed
// and how many exchanges ran and failed; with `countsOnly` the current values
// are counted, not kept (a long run then holds no growing list).
void runRvPoll(const std::string& port, int baud, int address, double seconds, bool observation,
               bool countsOnly) {
    using Clock = std::chrono::steady_clock;
    HeadlessRvPage headless(RvConnection{port, baud, address}, portIndex(port));
    rv::RvPageController& c = headless.controller();
    c.setObservation(observation);

    json current = json::array();
    long currentReads = 0;
    long readings = 0;
    long exchanges = 0;
    long failed = 0;
    const Clock::time_point start = Clock::now();
    const auto elapsed = [start] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    };
    headless.run(seconds, [&](const PageResult& h) {
        if (h.code == rv::kExchange || h.code == rv::kQuietExchange) {
            ++exchanges;
            if (!h.ok) ++failed;
        }
        if (h.ok && h.detail == rv::RegCurrent) {
            ++currentReads;
            if (!countsOnly) current.push_back(currentValuesJson(c, elapsed()));
        }
        if (h.ok && h.detail == rv::RegObservation) ++readings;
    });
    const rv::RvPageState& page = headless.page();
    const ConsoleRecorder& recorder = headless.recorder();
    json out = {{"port", port},
                {"seconds", seconds},
                {"Version", c.live().version},
                {"Serial", page.serial()},
                {"exchanges", exchanges},
                {"failedExchanges", failed},
                {"console", consoleJson(recorder)}};
    if (countsOnly)
        out["currentReads"] = currentReads;
    else
        out["current"] = current;
    if (observation) out["readings"] = readings;
    if (c.live().lastReading) out["lastReading"] = *c.live().lastReading;
    print(out);
}

void addRvCommands(CLI::App& app) {
    struct Options {
        std::string port;
        int baud = 9600;
        int address = 1;
        std::string reg;
        std::string data;
        std::string action;
        int bit = 0;
        double seconds = 5.0;
        bool observation = false;
        bool countsOnly = false;
    };
    auto o = std::make_shared<Options>();
    auto* cmd = app.add_subcommand("rv", "read and write the registers of an RV meter");
    cmd->add_option("--port", o->port, "port name or device path")->required();
    cmd->add_option("--baud", o->baud, "speed (9600)");
    cmd->add_option("--address", o->address, "network address of the meter (1)")->check(CLI::Range(0, 255));
    cmd->require_subcommand(1);
    auto* read = cmd->add_subcommand("read", "read a register");
    read->add_option("REGISTER", o->reg,
                     "system, firmware-sum, outputs, calibration, reverse-calibration, address, "
                     "integrator, current, work-time, observation, empty-pipe")
        ->required();
    auto* write = cmd->add_subcommand("write", "write a register");
    write->add_option("REGISTER", o->reg,
                      "outputs, calibration, reverse-calibration, address, integrator, start-stop, "
                      "clear-current, empty-pipe")
        ->required();
    write->add_option("JSON", o->data, "the block as JSON ({} for clear-current)");
    auto* status = cmd->add_subcommand("status", "set or clear status bit 0 or 1");
    status->add_option("ACTION", o->action, "set or clear")->required()->check(CLI::IsMember({"set", "clear"}));
    status->add_option("BIT", o->bit, "status bit 0 or 1")->required()->check(CLI::Range(0, 1));
    auto* poll = cmd->add_subcommand("poll", "open as the page does and run its polling for some seconds");
    poll->add_option("--seconds", o->seconds, "how long to poll, s (5)")->check(CLI::Range(0.05, 86400.0));
    poll->add_flag("--observation", o->observation, "also poll the raw readings every 200 ms");
    poll->add_flag("--counts", o->countsOnly, "count the current-values reads instead of printing each");
    poll->callback([o] { runRvPoll(o->port, o->baud, o->address, o->seconds, o->observation, o->countsOnly); });
    addRvObserveCommand(*cmd, [o] { return RvConnection{o->port, o->baud, o->address}; }, portIndex);

    read->callback([o] {
        const rv::RegisterInfo* info = rv::findRegister(o->reg);
        if (!info || info->readReply < 0) throw UserError("register cannot be read: " + o->reg);
        RvSession session(o->port, o->baud, o->address);
        JsonReplies replies;
        std::vector<std::uint8_t> data;
        std::size_t replyLength = static_cast<std::size_t>(info->readReply);
        if (info->reg == rv::RegCurrent) {
            // The request and its reply length follow the firmware version.
            session.exchange(rv::FnRead, rv::RegSystem, {}, rv::SystemBlock::kSize, replies);
            const int low = replies.out.at("versionLow").get<int>();
            if (auto byte = rv::currentRequestData(low)) data.push_back(*byte);
            replyLength = rv::currentReplyLength(low);
        }
        session.exchange(rv::FnRead, info->reg, data, replyLength, replies);
        json out = replies.out;
        out["console"] = consoleJson(session.recorder);
        print(out);
    });
    write->callback([o] {
        const rv::RegisterInfo* info = rv::findRegister(o->reg);
        if (!info || info->writeData < 0 || info->reg == rv::RegStatus)
            throw UserError("register cannot be written: " + o->reg);
        json j = json::object();
        if (!o->data.empty()) {
            try {
                j = json::parse(o->data);
            } catch (const json::parse_error& e) {
                throw UserError(std::string("JSON: ") + e.what());
            }
        }
        std::vector<std::uint8_t> data;
        try {
            data = writeData(info->reg, j);
        } catch (const json::exception& e) {
            throw UserError(std::string("JSON: ") + e.what());
        }
        RvSession session(o->port, o->baud, o->address);
        JsonReplies replies;
        session.exchange(rv::FnWrite, info->reg, data, static_cast<std::size_t>(info->writeReply), replies);
        json out = writtenJson(info->reg, data);
        out["console"] = consoleJson(session.recorder);
        print(out);
    });
    status->callback([o] {
        RvSession session(o->port, o->baud, o->address);
        JsonReplies replies;
        const auto data = rv::statusRequest(o->bit, o->action == "set");
        session.exchange(rv::FnWrite, rv::RegStatus, data, 1, replies);
        json out = replies.out;
        out["console"] = consoleJson(session.recorder);
        print(out);
    });
}

// ---------------------------------------------------------------- nivor

void addNivorCommands(CLI::App& app) {
    struct Options {
        std::string port;
        std::string mode;
        double time = 5.0;
        std::int64_t pulses = 5;
        int input = 1, input1 = 1, input2 = 2;
        std::string tempChannel = "1";
        int sensor = 0;
        int silentPolls = 10;
    };
    auto o = std::make_shared<Options>();
    auto* cmd = app.add_subcommand("nivor", "measure with the Nivor instrument");
    cmd->add_option("--port", o->port, "port name or device path")->required();
    cmd->require_subcommand(1);
    auto* measure = cmd->add_subcommand(
        "measure",
        "start, poll once a second until finished, stop, as the НИВ-2.3 dialog does; a poll answered with reply code 9 "
        "(no measurement running) ends it without a stop; a failed poll is skipped, and only --silent-polls failures "
        "in a row (10) end the measurement");
    measure->add_option("--mode", o->mode, "time, pulses, startstop1 or startstop2")
        ->required()
        ->check(CLI::IsMember({"time", "pulses", "startstop1", "startstop2"}));
    measure->add_option("--time", o->time, "measurement time, s (5.0)")->check(CLI::Range(0.0002, 4095.9998));
    measure->add_option("--pulses", o->pulses, "pulse count (5)")->check(CLI::Range(0, 16777215));
    measure->add_option("--input", o->input, "input counted in the pulse mode, 1 … 4")->check(CLI::Range(1, 4));
    measure->add_option("--input1", o->input1, "input of N1 and t1, 1 … 4 (1)")->check(CLI::Range(1, 4));
    measure->add_option("--input2", o->input2, "input of N2, 1 … 4 (2)")->check(CLI::Range(1, 4));
    measure->add_option("--temp-channel", o->tempChannel, "1, 2 or none (1)")
        ->check(CLI::IsMember({"1", "2", "none"}));
    measure->add_option("--sensor", o->sensor, "0 = 100П, 1 = Pt-100 (0)")->check(CLI::Range(0, 1));
    measure->add_option("--silent-polls", o->silentPolls,
                        "failed polls in a row after which the instrument counts as gone (10); a failed poll "
                        "before that is skipped and the next one follows a second later")
        ->check(CLI::Range(1, 1000));

    measure->callback([o] {
        if (o->input1 == o->input2) throw UserError("--input1 and --input2 must differ");
        HeadlessSpprDlg dialog;
        SpprController& c = dialog.controller();
        dialog.open(portIndex(o->port));

        const std::vector<std::string> modes{"time", "pulses", "startstop1", "startstop2"};
        c.cbModeChange(static_cast<int>(std::find(modes.begin(), modes.end(), o->mode) - modes.begin()));
        c.setMeasurementTime(o->time);
        c.setPulseCount(o->pulses);
        c.cbChannelChange(o->input - 1);
        // Each input list refuses the other's input: the second one moves
        // out of the way of the first one's choice before both are chosen.
        for (int free = 0; free < 4; ++free) {
            if (free != o->input1 - 1 && free != c.input1()) {
                c.cbChannel2Change(free);
                break;
            }
        }
        c.cbChannel1Change(o->input1 - 1);
        c.cbChannel2Change(o->input2 - 1);
        const bool useTemperature = o->tempChannel != "none";
        c.cbTempChChange(!useTemperature         ? SpprController::kNoTemperature
                         : o->tempChannel == "2" ? SpprController::kTsp2
                                                 : SpprController::kTsp1);
        c.setSensorType(o->sensor);

        dialog.measure(o->silentPolls);

        // What the dialog's panels show; the counts are empty until a reply
        // brought them.
        const bool counted = !c.tqText().empty();
        const auto shown = [counted](auto value) { return counted ? json(value) : json(nullptr); };
        print(json{{"tq", shown(c.tq())},
                   {"t1", shown(c.t1())},
                   {"N1", shown(c.n1())},
                   {"N2", shown(c.n2())},
                   {"U", c.voltage() ? json(*c.voltage()) : json(nullptr)},
                   {"t", useTemperature ? json(c.temperature()) : json(nullptr)}});
    });
}

void addDeviceCommands(CLI::App& app) {
    addPortsCommand(app);
    addDornCommands(app);
    addRvCommands(app);
    addNivorCommands(app);
}

const RegisterCommands kRegistered(addDeviceCommands);

}  // namespace

}  // namespace srvtool
