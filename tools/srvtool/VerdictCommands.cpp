// srvtool verdict: the verdict of each verification package against the
// limits of permissible error.

#include "Tool.h"

#include <cmath>

#include "common/MathError.h"
#include "document/Document.h"
#include "document/Verdict.h"

namespace srvtool {

namespace {

using nlohmann::json;

json number(double value) { return std::isfinite(value) ? json(value) : json(nullptr); }

json verdictJson(int index, const PackageVerdict& verdict, const Limits& limits) {
    json out;
    out["package"] = index;
    switch (verdict.outcome) {
        case PackageOutcome::Pass: out["pass"] = true; break;
        case PackageOutcome::Fail: out["pass"] = false; break;
        default: out["pass"] = nullptr; break;
    }
    out["failed"] = verdict.failed;
    out["limits"] = limits.isSet() ? json::parse(LimitsJson(limits)) : json(nullptr);
    json entries = json::array();
    for (const EntryVerdict& entry : verdict.entries) {
        entries.push_back({{"q", number(entry.q)},
                           {"error", number(entry.error)},
                           {"dV", number(entry.dV)},
                           {"limit", number(entry.limit)},
                           {"pass", entry.outcome == EntryOutcome::Unjudged ? json(nullptr) : json(entry.passes())}});
    }
    out["entries"] = std::move(entries);
    return out;
}

struct VerdictOptions {
    std::string document;
    std::optional<int> package;
    std::string limits;
};

void addVerdictCommands(CLI::App& app) {
    auto options = std::make_shared<VerdictOptions>();
    auto* cmd = app.add_subcommand("verdict", "judge the verification packages against the limits of permissible error");
    cmd->add_option("FILE", options->document, "document file (.srv or .json)")->required();
    cmd->add_option("--package", options->package, "only this package, counted from 0");
    cmd->add_option("--limits", options->limits, "limits file ({\"class\": 2, \"qp\": 10} or {\"zones\": [...]}) "
                                                 "instead of those stored for the model");
    cmd->callback([options] {
        ConsoleRecorder recorder;
        Document doc(recorder.console);
        openDocument(options->document, doc);
        const Limits limits = limitsFor(doc, options->limits);
        // The errors are those of the lines the device holds, as the
        // package's tab shows them.
        doc.tabChanged();
        json out = json::array();
        const int count = static_cast<int>(doc.packages().size());
        for (int index = 0; index < count; ++index) {
            if (options->package && *options->package != index) continue;
            const PackageBase& package = *doc.packages()[static_cast<std::size_t>(index)];
            if (package.type != PackageType::Verification) continue;
            out.push_back(verdictJson(index, CheckPackage(package, *doc.device(), limits), limits));
        }
        if (options->package) {
            const PackageBase& package = packageAt(doc, *options->package);
            if (package.type != PackageType::Verification)
                throw UserError("package " + std::to_string(*options->package) +
                                " is a calibration package: it has no verdict");
        }
        print(out);
    });
}

const RegisterCommands kRegistered(addVerdictCommands);

}  // namespace

}  // namespace srvtool
