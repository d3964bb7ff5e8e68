#include "archive/Record.h"

#include <unistd.h>
#include <pwd.h>

#include <QCryptographicHash>
#include <QDateTime>
#include <QSysInfo>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>

#include "common/Console.h"
#include "devices/DeviceBase.h"
#include "document/Document.h"
#include "document/Entries.h"
#include "document/Limits.h"
#include "document/Verdict.h"
#include "files/DocumentFile.h"

namespace archive {

namespace {

std::string loginName() {
    if (const passwd* pw = getpwuid(geteuid()); pw && pw->pw_name) return pw->pw_name;
    if (const char* user = std::getenv("USER")) return user;
    return std::to_string(geteuid());
}

template <typename T>
void appendRaw(std::string& out, const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

}  // namespace

Submission MakeSubmission(const std::string& path, std::string bytes) {
    Submission s;
    s.path = path;
    s.bytes = std::move(bytes);
    s.savedMs = QDateTime::currentMSecsSinceEpoch();
    s.user = loginName();
    s.host = QSysInfo::machineHostName().toStdString();
    return s;
}

std::optional<Verdict> VerdictOf(const Document& doc, const PackageBase& package) {
    const DeviceBase& device = *doc.device();
    const Limits limits = LoadLimits(device.Type());
    const ::PackageVerdict verdict = CheckPackage(package, device, limits);
    if (verdict.outcome != PackageOutcome::Pass && verdict.outcome != PackageOutcome::Fail) return std::nullopt;
    return Verdict{verdict.outcome == PackageOutcome::Pass, LimitsJson(limits)};
}

std::string Sha256Hex(const std::string& bytes) {
    return QCryptographicHash::hash(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
                                    QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

PreparedDocument Prepare(const std::string& bytes) {
    Console console;
    Document doc(console);
    std::istringstream in(bytes);
    files::ReadDocument(in, doc);

    PreparedDocument out;
    out.sha256 = Sha256Hex(bytes);
    const DeviceBase& device = *doc.device();
    Ident ident;
    device.GetIdent(ident);

    nlohmann::json lines = nlohmann::json::array();
    std::string head;
    head.push_back(static_cast<char>(device.Type()));
    appendRaw(head, ident.serial);
    appendRaw(head, ident.du);
    for (const files::Line& line : doc.state().currentLines) {
        lines.push_back({line.a, line.b, line.upper});
        appendRaw(head, line.a);
        appendRaw(head, line.b);
        appendRaw(head, line.upper);
    }
    const std::string linesText = lines.dump();

    for (const PackagePtr& package : doc.packages()) {
        PackageRecord r;
        r.typeCode = device.Type();
        r.model = device.Name();
        r.serial = SerialText(ident.serial, ident.du);
        r.du = ident.du;
        r.diameter = DiameterText(ident.du);
        r.packageType = static_cast<int>(package->type);
        r.method = static_cast<int>(package->method);
        r.created = package->created.toIso();
        r.entries = package->entryCount();
        for (int row = 0; row < r.entries; ++row) {
            std::uint8_t off = 0;
            package->getField(row, kOff, &off);
            if (off) continue;
            double err = 0.0;
            package->getField(row, kFlowErr, &err);
            r.errMin = r.errMin ? std::min(*r.errMin, err) : err;
            r.errMax = r.errMax ? std::max(*r.errMax, err) : err;
        }
        r.verdict = VerdictOf(doc, *package);
        r.lines = linesText;
        std::string keyed = head;
        package->appendRecordHeader(keyed, static_cast<std::uint32_t>(r.entries));
        package->appendEntryRecords(keyed);
        r.key = Sha256Hex(keyed);
        out.packages.push_back(std::move(r));
    }
    return out;
}

}  // namespace archive
