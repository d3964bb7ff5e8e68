#include "Trace.h"

#include <cstdio>
#include <mutex>
#include <nlohmann/json.hpp>

#include "link/FrameLog.h"

namespace srvtool {

namespace {

// One line per frame, the keys in this order:
// {"t_us":1234,"dir":"tx","hex":"01 41 00 c0 70","name":"…","check":"none","outcome":""}
class StderrTrace : public framelog::Sink {
public:
    void Recorded(const std::string&, const framelog::Frame& frame) override {
        const nlohmann::ordered_json line = {
            {"t_us", frame.tUs},
            {"dir", framelog::ToText(frame.dir)},
            {"hex", frame.Hex()},
            {"name", frame.name},
            {"check", framelog::ToText(frame.check)},
            {"outcome", framelog::ToText(frame.outcome)},
        };
        const std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
        std::lock_guard lock(m_mutex);
        std::fwrite(text.data(), 1, text.size(), stderr);
        std::fflush(stderr);
    }

private:
    std::mutex m_mutex;
};

void addTo(CLI::App& cmd) {
    cmd.add_flag_callback(
        "--trace",
        [] {
            // Lives as long as the program: the workers may still record
            // while the command's objects go away.
            static StderrTrace trace;
            FrameLog::SetSink(&trace);
        },
        "print every frame sent and received to stderr as JSON lines");
    for (CLI::App* sub : cmd.get_subcommands([](CLI::App*) { return true; })) addTo(*sub);
}

}  // namespace

void addTraceFlags(CLI::App& app) {
    const auto device = [](CLI::App* cmd) {
        const std::string& name = cmd->get_name();
        return name == "dorn" || name == "kelt" || name == "rv" || name == "nivor";
    };
    for (CLI::App* cmd : app.get_subcommands(device)) addTo(*cmd);
}

}  // namespace srvtool
