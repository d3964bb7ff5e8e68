// srvtool readings analyze and rv observe: the readings tab of the RV page
// from the command line. "observe" polls the meter as the tab does with its
// box checked and saves the samples as "Сохранить" does; "analyze" computes
// what "Анализ" reports for a readings file.

#include "ReadingsCommands.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>

#include "Tool.h"
#include "common/MathError.h"
#include "comprt/ComPort.h"
#include "devices/rv/Readings.h"
#include "devices/rv/RvPageController.h"
#include "devices/rv/RvWorker.h"
#include "link/WaitingNotifier.h"

namespace srvtool {

namespace {

using nlohmann::json;

constexpr auto kRequestLimit = std::chrono::seconds(30);

// Opens the port as the page's "Открыть" does, checks "Показания" and runs
// the page's 50 ms timer for `seconds` (a reading every 200 ms), handing the
// worker's notifications to the page's controller in between; then closes
// the port and saves the samples.
void runRvObserve(const RvConnection& conn, std::uint8_t (*portIndex)(const std::string&), double seconds,
                  const std::string& output) {
    using Clock = std::chrono::steady_clock;
    ConsoleRecorder recorder;
    WaitingNotifier pump;
    RVx2Thread worker;
    worker.Start(pump);
    rv::RvPageState page;
    rv::RvPageController c(page, worker, recorder.console);
    c.setPortIndex(portIndex(conn.port) - 1);
    const auto& speeds = rv::RvPageController::speeds();
    const auto speed = std::find(speeds.begin(), speeds.end(), conn.baud);
    c.setSpeedIndex(speed == speeds.end() ? -1 : static_cast<int>(speed - speeds.begin()));
    c.setAddress(conn.address);
    c.setObservation(true);

    bool openFailed = false;
    const auto handle = [&](const WaitingNotifier::Notification& n) {
        if (n.message == QueueNotifier::kActivityMessage) {
            c.Activity(n.param1);
            return;
        }
        const rv::RvPageController::Handled h = c.HandleResult(n.param1 != 0);
        if (h.code == rv::kOpenPort && !h.ok) openFailed = true;
    };

    const Clock::time_point start = Clock::now();
    c.OpenPortButtonClick();
    const auto tick = std::chrono::milliseconds(50);
    const Clock::time_point end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    Clock::time_point next = start + tick;
    while (!openFailed && Clock::now() < end) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(std::min(next, end) - Clock::now());
        if (auto n = pump.next(std::max(wait, std::chrono::milliseconds(0)))) {
            handle(*n);
            continue;
        }
        if (Clock::now() >= next) {
            c.SystemTimerTimer();
            next += tick;
        }
    }
    c.setObservation(false);
    if (c.portOpen()) c.OpenPortButtonClick();
    while (worker.Pending() > 0) {
        auto n = pump.next(kRequestLimit);
        if (!n) throw UserError("no completion of the request");
        handle(*n);
    }
    if (openFailed) throw UserError(recorder.lines.empty() ? comprt::kPortNotOpen : recorder.lines.back());

    const std::string path = rv::withReadingsExtension(output);
    rv::saveReadings(path, c.readings());
    recorder.console.message(rv::readingsSavedMessage(path));
    print({{"port", conn.port},
           {"seconds", seconds},
           {"samples", c.readings().size()},
           {"file", path},
           {"console", recorder.lines}});
}

// "Анализ" over a readings file, the X axis from `from` to `to`. A line
// that is no number fails the command: the figures of a partly read file
// would look complete.
void runAnalyze(const std::string& path, double from, double to) {
    const rv::ReadingsParse loaded = rv::loadReadings(path);
    if (loaded.error) throw UserError(*loaded.error);
    const auto a = rv::analyzeReadings(loaded.raw, from, to);
    if (!a) {
        print({{"start", nullptr}, {"end", nullptr}, {"mean", nullptr}, {"noise", nullptr}, {"ratio", nullptr}});
        return;
    }
    print({{"start", a->start}, {"end", a->end}, {"mean", a->mean}, {"noise", a->noise}, {"ratio", a->ratio}});
}

void addReadingsCommands(CLI::App& app) {
    struct Options {
        std::string file;
        double from = -std::numeric_limits<double>::infinity();
        double to = std::numeric_limits<double>::infinity();
    };
    auto o = std::make_shared<Options>();
    auto* cmd = app.add_subcommand("readings", "readings files of the RV page's \"Показания\" tab");
    cmd->require_subcommand(1);
    auto* analyze = cmd->add_subcommand(
        "analyze", "mean, noise and noise-to-signal ratio of the raw codes, as \"Анализ\" reports them");
    analyze->add_option("FILE", o->file, "readings file (.csv)")->required();
    analyze->add_option("--from", o->from, "X axis minimum (the first sample)");
    analyze->add_option("--to", o->to, "X axis maximum (the last sample)");
    analyze->callback([o] { runAnalyze(o->file, o->from, o->to); });
}

const RegisterCommands kRegister(addReadingsCommands);

}  // namespace

void addRvObserveCommand(CLI::App& rv, std::function<RvConnection()> connection,
                         std::uint8_t (*portIndex)(const std::string&)) {
    struct Options {
        double seconds = 60.0;
        std::string output;
    };
    auto o = std::make_shared<Options>();
    auto* observe = rv.add_subcommand(
        "observe", "poll the raw readings every 200 ms as the page's \"Показания\" does and save them");
    // "rv observe --port P" as well as "rv --port P observe".
    observe->fallthrough();
    observe->add_option("--seconds", o->seconds, "how long to observe, s (60)")->check(CLI::Range(0.05, 86400.0));
    observe->add_option("-o,--output", o->output, "readings file to write (\".csv\" added to a bare name)")
        ->required();
    observe->callback([o, connection, portIndex] { runRvObserve(connection(), portIndex, o->seconds, o->output); });
}

}  // namespace srvtool
