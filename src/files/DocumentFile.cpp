#include "files/DocumentFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "common/AtomicFile.h"
#include "common/MathError.h"
#include "common/WinError.h"
#include "document/Document.h"
#include "common/BinaryIo.h"

namespace files {

namespace {

constexpr char kSignature[4] = {'3', 'B', 'P', 'P'};
constexpr std::uint32_t kMaxSettingsSize = 1024;
constexpr int kLastTypeCode = 36;

[[noreturn]] void badFormat() { throw UserError("Неправильный формат файла"); }

// Version 1 to 3 files keep the family number (0 Dorn, 1 Kelt, 2 RV) and,
// in the first settings word, the device's model number.
int typeCodeOfFamily(int family, const std::vector<std::uint8_t>& settings) {
    std::int64_t model = 0;
    if (settings.size() >= 4) {
        std::int32_t word;
        std::memcpy(&word, settings.data(), sizeof word);
        model = word;
    }
    switch (family) {
        case 0: return static_cast<int>(std::clamp<std::int64_t>(model, 0, 16)) + kFirstDornCode;
        case 1: {
            // Version 3 Kelt model numbers 0 … 5 name older models; from 6 on
            // they count the models of the current list.
            static constexpr int kOldModels[] = {0, 1, 3, 7, 0, 0};
            const std::int64_t k = model >= 0 && model <= 5 ? kOldModels[model] : std::clamp<std::int64_t>(model - 6, 0, 10);
            return static_cast<int>(k) + kFirstKeltCode;
        }
        default: return kRvCode;
    }
}

// Versions 1 to 4 keep the method as a flag: any byte but 0 is the mass
// method. The record was read by the method its byte gives when taken as a
// method of today (clamped to 0 … 2), so the reference quantity sits in that
// method's field; it moves to the mass field so that it survives the
// conversion.
void methodFlagToMass(PackageBase& package, bool massFlag) {
    if (!massFlag) {
        package.method = Method::Volume;
        return;
    }
    if (package.method != Method::Mass) {
        const int from = package.method == Method::Reference ? kFlowRef : kVolRef;
        for (int row = 0; row < package.entryCount(); ++row) {
            double value = 0.0;
            const double zero = 0.0;
            package.getField(row, from, &value);
            package.setField(row, from, &zero);
            package.setField(row, kMassRef, &value);
        }
    }
    package.method = Method::Mass;
}

// The method byte of the package record ahead (after its type byte), without
// consuming anything; 0 when the data ends there.
std::uint8_t peekMethodByte(std::istream& in) {
    if (!in.good()) return 0;
    in.get();
    if (!in) return 0;
    const int next = in.peek();
    in.unget();
    return next == std::char_traits<char>::eof() ? 0 : static_cast<std::uint8_t>(next);
}

void readBody(std::istream& in, std::uint32_t version, Document& doc) {
    DocumentContent content;

    const int type = readValue<std::uint8_t>(in);
    if (!in) badFormat();
    const bool familyNumber = version <= 3;
    if (familyNumber ? type > 2 : type > kLastTypeCode) badFormat();

    content.ident.serial = readValue<std::uint32_t>(in);
    content.ident.du = readValue<std::uint8_t>(in);
    readBytes(in, &content.options, sizeof content.options);

    const std::uint32_t lineCount = readValue<std::uint32_t>(in);
    content.lines.reserve(std::min(lineCount, kMaxReserve));
    while (content.lines.size() < lineCount && in) {
        Line line;
        line.a = readValue<double>(in);
        line.b = readValue<double>(in);
        line.upper = readValue<double>(in);
        if (in) content.lines.push_back(line);
    }

    static constexpr int kEntryTypeOfFamily[] = {0, 1, 2};
    const int entryType = familyNumber ? kEntryTypeOfFamily[type] : EntryTypeOfCode(type);
    const std::uint32_t packageCount = readValue<std::uint32_t>(in);
    content.packages.reserve(std::min(packageCount, kMaxReserve));
    std::vector<bool> massFlags;
    while (content.packages.size() < packageCount && in) {
        massFlags.push_back(peekMethodByte(in) != 0);
        PackagePtr package = CreatePackage(entryType, doc.sharedState());
        package->load(in);
        content.packages.push_back(std::move(package));
    }

    const std::uint32_t settingsSize = readValue<std::uint32_t>(in);
    if (!in || settingsSize > kMaxSettingsSize) badFormat();
    content.settings.resize(settingsSize);
    if (settingsSize > 0) readBytes(in, content.settings.data(), settingsSize);
    if (!in) badFormat();

    content.typeCode = familyNumber ? typeCodeOfFamily(type, content.settings) : type;
    if (version <= 4)
        for (std::size_t i = 0; i < content.packages.size(); ++i) methodFlagToMass(*content.packages[i], massFlags[i]);

    if (!doc.load(std::move(content))) badFormat();
}

}  // namespace

void ReadDocument(std::istream& in, Document& doc) {
    char signature[4] = {};
    readBytes(in, signature, sizeof signature);
    const std::uint32_t version = readValue<std::uint32_t>(in);
    if (!in || std::memcmp(signature, kSignature, sizeof kSignature) != 0 || version < 1 || version > kDocumentVersion)
        badFormat();
    if (version <= 2) {
        std::stringstream body(std::ios::in | std::ios::out | std::ios::binary);
        ConvertOldDocument(body, in, static_cast<int>(version));
        body.seekg(0);
        readBody(body, 3, doc);
    } else {
        readBody(in, version, doc);
    }
}

void ReadDocument(const std::string& path, Document& doc) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw win_error(EISDIR);
    std::ifstream in;
    static thread_local char buffer[64 * 1024];
    in.rdbuf()->pubsetbuf(buffer, sizeof buffer);
    errno = 0;
    in.open(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) throw win_error(static_cast<std::uint32_t>(errno != 0 ? errno : EIO));
    ReadDocument(in, doc);
}

std::string DocumentBytes(Document& doc) {
    DeviceBase* device = doc.device();
    if (!device) throw UserError("no document is open");
    DocumentState& state = doc.state();
    Ident ident;
    device->GetIdent(ident);
    device->GetLines(state.currentLines);
    state.options.pulseWeight = device->PulseWeight();

    std::ostringstream out(std::ios::out | std::ios::binary);
    writeBytes(out, kSignature, sizeof kSignature);
    writeValue(out, kDocumentVersion);
    writeValue(out, static_cast<std::uint8_t>(device->Type() & 0xFF));
    writeValue(out, ident.serial);
    writeValue(out, ident.du);
    writeValue(out, state.options);
    writeValue(out, static_cast<std::uint32_t>(state.currentLines.size()));
    for (const Line& line : state.currentLines) {
        writeValue(out, line.a);
        writeValue(out, line.b);
        writeValue(out, line.upper);
    }
    writeValue(out, static_cast<std::uint32_t>(doc.packages().size()));
    for (const PackagePtr& package : doc.packages()) package->save(out);
    std::vector<std::uint8_t> settings(static_cast<std::size_t>(std::max(0, device->GetSettings(nullptr))));
    if (!settings.empty()) device->GetSettings(settings.data());
    writeValue(out, static_cast<std::uint32_t>(settings.size()));
    writeBytes(out, settings.data(), settings.size());
    return std::move(out).str();
}

void WriteDocument(const std::string& path, Document& doc) {
    // The new file is made first: a target that cannot take it changes
    // nothing, not even the document's lines.
    AtomicFile file(path);
    file.write(DocumentBytes(doc));
    file.commit();
}

}  // namespace files
