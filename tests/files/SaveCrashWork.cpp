#include "SaveCrashWork.h"

#include <memory>

#include "common/Console.h"
#include "document/Document.h"
#include "document/Entries.h"
#include "files/DocumentFile.h"
#include "files/Report.h"
#include "link/RegKey.h"

namespace savecrash {

namespace {

// A document of `entries` entries in one calibration package; the two
// versions differ in every entry's temperature.
struct Work {
    Console console;
    Document doc{console};
    PackagePtr package;

    Work(int entries, int version) {
        doc.create(kFirstDornCode + 3);
        package = doc.addPackage(PackageType::Calibration, Method::Volume);
        package->created = {2026, 12, 4, 10, 15, 30, 0, 0};  // the same in every program that saves it
        for (int i = 0; i < entries; ++i) {
            package->appendBlankEntry();
            const double t = 20.0 + version + i * 1e-3, volume = 10.0 + i, time = 30.0;
            const std::int32_t pulses = 1000 + i;
            package->setField(i, kT, &t);
            package->setField(i, kVolRef, &volume);
            package->setField(i, kTimeRef, &time);
            package->setField(i, kTime1, &time);
            package->setField(i, kPulses1, &pulses);
        }
    }
};

Work& work(int entries, int version) {
    static std::unique_ptr<Work> made[2][2];
    std::unique_ptr<Work>& w = made[entries > 10000][version];
    if (!w) w = std::make_unique<Work>(entries, version);
    return *w;
}

}  // namespace

std::string targetName(Kind kind) {
    switch (kind) {
    case Kind::Document: return "прибор.srv";
    case Kind::Settings: return "Сервис.json";
    case Kind::Report: return "report.html";
    }
    return "";
}

std::string kindName(Kind kind) {
    switch (kind) {
    case Kind::Document: return "document";
    case Kind::Settings: return "settings";
    case Kind::Report: return "report";
    }
    return "";
}

bool parseKind(std::string_view name, Kind& kind) {
    for (const Kind k : {Kind::Document, Kind::Settings, Kind::Report}) {
        if (kindName(k) == name) {
            kind = k;
            return true;
        }
    }
    return false;
}

void save(Kind kind, const std::string& folder, int version) {
    const std::string path = folder + "/" + targetName(kind);
    switch (kind) {
    case Kind::Document:
        // About 2 MB: a save takes long enough to be cut in every step.
        files::WriteDocument(path, work(40000, version).doc);
        break;
    case Kind::Settings: {
        RegKey::SetFileLocation(path);
        RegKey key;
        key.Open();
        key.WriteString(kSettingsValue, std::string(300000, version ? 'b' : 'a'));
        break;
    }
    case Kind::Report: {
        Work& w = work(3000, version);
        files::WriteReport(path, *w.doc.device(), *w.package);
        break;
    }
    }
}

bool isLeftoverOf(std::string_view name, std::string_view target) {
    return name.size() > target.size() + 6 && name[0] == '.' && name.substr(1, target.size()) == target &&
           name[1 + target.size()] == '.' && name.substr(name.size() - 4) == ".tmp";
}

}  // namespace savecrash
