// srvtool kelt: the Kelt page's device actions through a serial port.
//
//   srvtool kelt --port P --model M read | write PARAMS.json | battery |
//                temperature | version | amplitude | level L | tune | reset
//
// The port is opened as the page opens it, then the command posts what the
// page's button posts (with the same sequences and conditions) and hands the
// results to the same handling. The parameters are the page's fields by
// their component names.

#include "Tool.h"

#include <algorithm>
#include <functional>
#include <memory>

#include "common/MathError.h"
#include "comprt/ComPort.h"
#include "devices/kelt/KeltPageController.h"

namespace srvtool {

namespace {

constexpr auto kWorkerQuiet = std::chrono::seconds(30);

struct KeltOptions {
    std::string port;
    int model = 0;
    std::string params;
    int level = 0;
};

// The 1-based index of `name` in the program's port list, adding the name
// when the machine's list does not hold it (a devsim pty, say).
int portIndex(const std::string& name) {
    if (!comprt::ComPort::ComList::Accepts(name))
        throw UserError("not a port name: " + name + " (a device path or COMn)");
    std::vector<std::string> names = comprt::ComPort::PortList().Names();
    if (std::find(names.begin(), names.end(), name) == names.end()) {
        names.push_back(name);
        comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(names));
    }
    const auto& list = comprt::ComPort::PortList().Names();
    const auto at = std::find(list.begin(), list.end(), name);
    // The open request carries the index in one byte.
    if (at == list.end() || at - list.begin() >= 255) throw UserError(comprt::kPortNotOpen);
    return static_cast<int>(at - list.begin()) + 1;
}

const char* const kANames[] = {"edA1", "edA2", "edA3", "edA4", "edA5"};
const char* const kBNames[] = {"edB1", "edB2", "edB3", "edB4", "edB5"};
const char* const kFNames[] = {"edF12", "edF23", "edF34", "edF45"};

double numberOf(const nlohmann::json& value, const std::string& key) {
    if (!value.is_number()) throw UserError(key + " must be a number");
    return value.get<double>();
}

int positionOf(const nlohmann::json& value, const std::string& key, int count) {
    if (!value.is_number_integer() || value.get<long long>() < 0 || value.get<long long>() >= count)
        throw UserError(key + " must be a position 0 … " + std::to_string(count - 1));
    return value.get<int>();
}

// Puts the fields of PARAMS.json into the page as the engineer would type
// them: the diameter first (it reloads the weights), then the weight (which
// sets its default pulse length), then the rest.
void applyParams(const nlohmann::json& params, KeltPageState& page) {
    if (!params.is_object()) throw UserError("the parameters must be a JSON object");
    std::vector<std::string> known = {"cbDu", "cbOutType", "cbWeight", "edTauOut", "edN", "edOffset", "edDevNum", "console"};
    known.insert(known.end(), std::begin(kANames), std::end(kANames));
    known.insert(known.end(), std::begin(kBNames), std::end(kBNames));
    known.insert(known.end(), std::begin(kFNames), std::end(kFNames));
    for (const auto& [key, value] : params.items())
        if (std::find(known.begin(), known.end(), key) == known.end()) throw UserError("unknown parameter " + key);

    if (params.contains("cbDu")) page.selectDiameter(positionOf(params["cbDu"], "cbDu", page.diameter().count()));
    if (params.contains("cbOutType"))
        page.selectOutputType(positionOf(params["cbOutType"], "cbOutType", page.outputType().count()));
    if (params.contains("cbWeight")) page.selectWeight(positionOf(params["cbWeight"], "cbWeight", page.weight().count()));
    if (params.contains("edTauOut")) page.pulseLength().setValue(numberOf(params["edTauOut"], "edTauOut"));
    for (int i = 0; i < kelt::kSegments; ++i) {
        if (params.contains(kANames[i])) page.a(i).setValue(numberOf(params[kANames[i]], kANames[i]));
        if (params.contains(kBNames[i])) page.b(i).setValue(numberOf(params[kBNames[i]], kBNames[i]));
    }
    for (int i = 0; i < kelt::kBoundaries; ++i)
        if (params.contains(kFNames[i])) page.f(i).setValue(numberOf(params[kFNames[i]], kFNames[i]));
    if (params.contains("edN")) page.n().setValue(static_cast<long long>(numberOf(params["edN"], "edN")));
    if (params.contains("edOffset"))
        page.temperatureCorrection().setValue(static_cast<long long>(numberOf(params["edOffset"], "edOffset")));
    if (params.contains("edDevNum")) {
        if (!params["edDevNum"].is_string()) throw UserError("edDevNum must be a text");
        page.setSerialText(params["edDevNum"].get<std::string>());
    }
}

nlohmann::json fieldsOf(const KeltPageState& page) {
    nlohmann::json out;
    for (int i = 0; i < kelt::kSegments; ++i) {
        out[kANames[i]] = page.a(i).value();
        out[kBNames[i]] = page.b(i).value();
    }
    for (int i = 0; i < kelt::kBoundaries; ++i) out[kFNames[i]] = page.f(i).value();
    out["cbDu"] = page.diameter().index();
    out["cbOutType"] = page.outputType().index();
    out["cbWeight"] = page.weight().index();
    out["edTauOut"] = page.pulseLength().value();
    out["edN"] = page.n().value();
    out["edOffset"] = page.temperatureCorrection().value();
    out["edDevNum"] = page.serialText();
    return out;
}

// One srvtool run of the page: the worker, the page state and its handling.
class KeltSession {
public:
    explicit KeltSession(int model) : m_page(model), m_controller(m_page, m_worker, m_recorder.console) {
        m_worker.Start(m_notifier);
    }

    KeltPageState& page() { return m_page; }
    KeltPageController& controller() { return m_controller; }
    const std::vector<std::string>& console() const { return m_recorder.lines; }

    void open(const std::string& port) {
        const int index = portIndex(port);
        m_controller.cbPortChange(index);
        waitIdle();
        if (m_controller.port() != index)
            throw UserError(m_controller.lastFailure().value_or(comprt::kPortNotOpen));
        m_controller.clearFailure();
    }

    // Runs a handler and waits until its requests are handled; a failure ends
    // the command with its text (a busy transducer with the page's line).
    template <class Handler>
    void run(Handler handler) {
        handler();
        waitIdle();
        if (const auto& failure = m_controller.lastFailure())
            throw UserError(failure->empty() ? KeltPageController::kBusyPause : *failure);
    }

private:
    void waitIdle() {
        if (!RunUntilIdle(m_controller, m_notifier, kWorkerQuiet)) throw UserError("the Kelt worker does not answer");
    }

    ConsoleRecorder m_recorder;
    KeltPageState m_page;
    WaitingNotifier m_notifier;
    KeltThread m_worker;
    KeltPageController m_controller;
};

void addKeltCommands(CLI::App& app) {
    auto options = std::make_shared<KeltOptions>();
    auto* kelt = app.add_subcommand("kelt", "read and write a Kelt transducer through its port");
    kelt->add_option("--port", options->port, "serial port: a device path or COMn")->required();
    kelt->add_option("--model", options->model, "model index 0 … 18")->required()->check(CLI::Range(0, 18));
    kelt->require_subcommand(1);

    // Adds one action; `needsAdapter`: the page shows its button for models 0 … 8 only.
    const auto action = [&](const std::string& name, const std::string& help, bool needsAdapter,
                            std::function<nlohmann::json(KeltSession&)> body) {
        auto* cmd = kelt->add_subcommand(name, help);
        cmd->callback([options, name, needsAdapter, body] {
            if (needsAdapter && options->model > 8)
                throw UserError("the page of model " + std::to_string(options->model) + " has no " + name + " button");
            KeltSession session(options->model);
            nlohmann::json out = body(session);
            out["console"] = session.console();
            print(out);
        });
        return cmd;
    };

    action("read", "read the parameters and print the page's fields", false, [options](KeltSession& s) {
        s.open(options->port);
        s.run([&] { s.controller().bnReadClick(); });
        return fieldsOf(s.page());
    });
    auto* write = action("write", "write the page's fields given in PARAMS.json", false, [options](KeltSession& s) {
        applyParams(readJsonFile(options->params), s.page());
        s.open(options->port);
        s.run([&] { s.controller().bnWriteClick(); });
        return nlohmann::json::object();
    });
    write->add_option("PARAMS", options->params, "JSON object of page fields")->required();
    action("battery", "read the battery voltage", true, [options](KeltSession& s) {
        s.open(options->port);
        s.run([&] { s.controller().bnGetUClick(); });
        return nlohmann::json::object();
    });
    action("temperature", "read the temperature (and the signal)", false, [options](KeltSession& s) {
        s.open(options->port);
        s.run([&] { s.controller().bnGetTClick(); });
        return nlohmann::json::object();
    });
    action("version", "read the firmware version and checksum", false, [options](KeltSession& s) {
        if (options->model == 18) throw UserError("the page of model 18 has no version button");
        s.open(options->port);
        s.run([&] { s.controller().bnGetVerCrcClick(); });
        return nlohmann::json::object();
    });
    const auto amplitudeJson = [](KeltSession& s) {
        return nlohmann::json{{"amplitude", s.controller().amplitude()}, {"level", s.page().level().value()}};
    };
    action("amplitude", "read the signal amplitude at the adapter", true, [options, amplitudeJson](KeltSession& s) {
        s.open(options->port);
        s.run([&] { s.controller().bnGetAmpClick(); });
        return amplitudeJson(s);
    });
    auto* level = action("level", "set the adapter's level (track bar position 0 … 3)", true, [options](KeltSession& s) {
        s.open(options->port);
        s.page().level().setValue(options->level);
        s.run([&] { s.controller().bnSetLevelClick(); });
        return nlohmann::json::object();
    });
    level->add_option("L", options->level, "level 0 … 3")->required()->check(CLI::Range(0, 3));
    action("tune", "tune the adapter's level automatically", true, [options, amplitudeJson](KeltSession& s) {
        s.open(options->port);
        s.run([&] { s.controller().bnAutoClick(); });
        return amplitudeJson(s);
    });
    action("reset", "reset the adapter", true, [options](KeltSession& s) {
        s.open(options->port);
        s.run([&] { s.controller().bnResetClick(); });
        return nlohmann::json::object();
    });
}

const RegisterCommands kRegistered(addKeltCommands);

}  // namespace

}  // namespace srvtool
