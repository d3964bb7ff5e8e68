// srvtool readings analyze and rv observe: the readings tab of the RV page
// from the command line. "observe" polls the meter as the tab does with its
// box checked and saves the samples as "Сохранить" does; "analyze" computes
// what "Анализ" reports for a readings file.

#include "ReadingsCommands.h"

#include <cmath>
#include <iostream>
#include <limits>
#include <memory>

#include "Tool.h"
#include "common/MathError.h"
#include "devices/rv/Readings.h"
#include "devices/rv/RvPageController.h"

namespace srvtool {

namespace {

using nlohmann::json;

// Opens the port as the page's "Открыть" does, checks "Показания" and runs
// the page's 50 ms timer for `seconds` (a reading every 200 ms), handing the
// worker's notifications to the page's controller in between; then closes
// the port and saves the samples.
void runRvObserve(const RvConnection& conn, std::uint8_t (*portIndex)(const std::string&), double seconds,
                  const std::string& output) {
    HeadlessRvPage headless(conn, portIndex(conn.port));
    rv::RvPageController& c = headless.controller();
    c.setObservation(true);
    headless.run(
        seconds, [](const PageResult&) {}, [&c] { c.setObservation(false); });
    ConsoleRecorder& recorder = headless.recorder();

    const std::string path = rv::withReadingsExtension(output);
    rv::saveReadings(path, c.readings());
    recorder.console.message(rv::readingsSavedMessage(path));
    print({{"port", conn.port},
           {"seconds", seconds},
           {"samples", c.readings().size()},
           {"file", path},
           {"console", recorder.lines}});
}

// "Анализ" over a readings file, the X axis from `from` to `to`. As the
// tab's "Загрузить" does, a line that is no number ends the reading and the
// samples before it are analysed; stderr names the bad line, so a script can
// tell a partly read file from a whole one.
void runAnalyze(const std::string& path, double from, double to) {
    const rv::ReadingsParse loaded = rv::loadReadings(path);
    if (loaded.error)
        std::cerr << path << ": строка " << loaded.errorLine << ": " << *loaded.error << '\n';
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
