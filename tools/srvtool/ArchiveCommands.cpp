// srvtool archive add, find, get, sync: the calibration archive; and the
// record of every document file another command writes.

#include "Tool.h"

#include <QDateTime>
#include <QTimeZone>

#include <fstream>
#include <iostream>
#include <sstream>

#include "archive/Archive.h"
#include "archive/Location.h"
#include "archive/Sender.h"
#include "common/AtomicFile.h"
#include "common/MathError.h"

namespace srvtool {

namespace {

using nlohmann::json;

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw UserError(path + ": cannot be opened");
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The archive's messages go to stderr: stdout keeps the command's JSON.
void toStderr(const std::string& text) { std::cerr << text << '\n'; }

std::string archiveUrl(const std::string& option) {
    if (!option.empty()) return option;
    const std::string url = archive::ConfiguredArchiveUrl();
    if (url.empty()) throw UserError("the archive is off (RVSERVICE_ARCHIVE=off)");
    return url;
}

// A save of another command is recorded as the program's save is: queued,
// then sent; an archive that cannot take it leaves it queued and says so.
void recordSave(const std::string& path) {
    try {
        const std::string url = archive::ConfiguredArchiveUrl();
        if (url.empty()) return;
        archive::Sender sender(url, archive::QueuePath(), toStderr);
        if (sender.enqueue(archive::MakeSubmission(path, readFile(path)))) sender.send();
    } catch (const std::exception& e) {
        toStderr(e.what());
    }
}

std::string localTime(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString("yyyy-MM-ddTHH:mm:ss.zzz").toStdString();
}

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS", local time. A
// date alone is its first moment, or its last for the end of a range.
std::int64_t parseDate(const std::string& text, bool endOfRange, const char* option) {
    const QString t = QString::fromStdString(text).replace(' ', 'T');
    for (const char* format : {"yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm"}) {
        const QDateTime time = QDateTime::fromString(t, format);
        if (time.isValid()) return time.toMSecsSinceEpoch() + (endOfRange ? 999 : 0);
    }
    const QDate date = QDate::fromString(t, "yyyy-MM-dd");
    if (!date.isValid())
        throw UserError(std::string(option) + " " + text + ": a date YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS] is expected");
    if (endOfRange) return date.addDays(1).startOfDay().toMSecsSinceEpoch() - 1;
    return date.startOfDay().toMSecsSinceEpoch();
}

json rowJson(const archive::Row& r) {
    auto optional = [](const auto& v) { return v ? json(*v) : json(nullptr); };
    return json{{"id", r.id},
                {"serial", r.serial},
                {"model", r.model},
                {"type", r.packageType},
                {"method", r.method},
                {"created", r.created},
                {"saved", localTime(r.savedMs)},
                {"entries", r.entries},
                {"errMin", optional(r.errMin)},
                {"errMax", optional(r.errMax)},
                {"pass", optional(r.pass)},
                {"path", r.path},
                {"sha256", r.sha256},
                {"user", r.user},
                {"host", r.host}};
}

struct FindOptions {
    std::string url, serial, model, from, to, verdict;
};

void addArchiveCommands(CLI::App& app) {
    setDocumentSavedHook(recordSave);

    auto* cmd = app.add_subcommand("archive", "the calibration archive: record, find and get saved documents");
    cmd->require_subcommand(1);
    const char* urlHelp = "the archive: a SQLite file path or postgresql://user@host:port/db";

    auto addUrl = std::make_shared<std::string>();
    auto addPath = std::make_shared<std::string>();
    auto* cmdAdd = cmd->add_subcommand("add", "record a document file as a save would");
    cmdAdd->add_option("FILE", *addPath, "document file (.srv)")->required();
    cmdAdd->add_option("--archive", *addUrl, urlHelp);
    cmdAdd->callback([addUrl, addPath] {
        std::string bytes = readFile(*addPath);
        archive::Prepare(bytes);  // a file that is no document is refused here
        archive::Sender sender(archiveUrl(*addUrl), archive::QueuePath(), toStderr);
        if (!sender.enqueue(archive::MakeSubmission(*addPath, std::move(bytes))))
            throw UserError("the archive's queue cannot take the document");
        const archive::Sender::Sent sent = sender.send();
        print({{"ids", sent.ids}, {"queued", sent.left}});
    });

    auto find = std::make_shared<FindOptions>();
    auto* cmdFind = cmd->add_subcommand("find", "list the records, newest first");
    cmdFind->add_option("--archive", find->url, urlHelp);
    cmdFind->add_option("--serial", find->serial, "factory number prefix");
    cmdFind->add_option("--model", find->model, "device model name");
    cmdFind->add_option("--from", find->from, "saved at or after (YYYY-MM-DD[THH:MM[:SS]])");
    cmdFind->add_option("--to", find->to, "saved at or before (YYYY-MM-DD[THH:MM[:SS]])");
    cmdFind->add_option("--verdict", find->verdict, "pass, fail or none")
        ->check(CLI::IsMember({"pass", "fail", "none"}));
    cmdFind->callback([find] {
        archive::Filter filter;
        filter.serialPrefix = find->serial;
        filter.model = find->model;
        if (!find->from.empty()) filter.fromMs = parseDate(find->from, false, "--from");
        if (!find->to.empty()) filter.toMs = parseDate(find->to, true, "--to");
        if (find->verdict == "pass") filter.verdict = archive::VerdictFilter::Pass;
        else if (find->verdict == "fail") filter.verdict = archive::VerdictFilter::Fail;
        else if (find->verdict == "none") filter.verdict = archive::VerdictFilter::None;
        archive::Archive archive(archiveUrl(find->url));
        if (!archive.notice().empty()) toStderr(archive.notice());
        json rows = json::array();
        archive.forEach(filter, [&](const archive::Row& r) { rows.push_back(rowJson(r)); });
        print(rows);
    });

    auto getUrl = std::make_shared<std::string>();
    auto getId = std::make_shared<std::int64_t>(0);
    auto getOut = std::make_shared<std::string>();
    auto* cmdGet = cmd->add_subcommand("get", "write the document of a record, byte for byte as it was saved");
    cmdGet->add_option("ID", *getId, "record id")->required();
    cmdGet->add_option("-o,--output", *getOut, "document file to write")->required();
    cmdGet->add_option("--archive", *getUrl, urlHelp);
    cmdGet->callback([getUrl, getId, getOut] {
        archive::Archive archive(archiveUrl(*getUrl));
        const std::optional<std::string> bytes = archive.document(*getId);
        if (!bytes) throw UserError("the archive has no record " + std::to_string(*getId));
        ReplaceFile(*getOut, *bytes);
        print({{"output", *getOut}, {"sha256", archive::Sha256Hex(*bytes)}, {"size", bytes->size()}});
    });

    auto syncUrl = std::make_shared<std::string>();
    auto* cmdSync = cmd->add_subcommand("sync", "send the saves queued while the archive was unreachable");
    cmdSync->add_option("--archive", *syncUrl, urlHelp);
    cmdSync->callback([syncUrl] {
        archive::Sender sender(archiveUrl(*syncUrl), archive::QueuePath(), toStderr);
        const archive::Sender::Sent sent = sender.send();
        if (!sent.reachable) throw UserError("the archive cannot be reached; " + std::to_string(sent.left) +
                                             " saves stay queued");
        print({{"sent", sent.documents}, {"ids", sent.ids}, {"queued", sent.left}});
    });
}

const RegisterCommands kRegistered(addArchiveCommands);

}  // namespace

}  // namespace srvtool
