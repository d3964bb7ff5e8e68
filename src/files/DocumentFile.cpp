#include "files/DocumentFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <type_traits>
#include <vector>

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

// The body before the packages: the type byte (checked against the
// version's range), identity, options and lines. Returns the type byte.
int readHead(std::istream& in, std::uint32_t version, DocumentContent& content) {
    const int type = readValue<std::uint8_t>(in);
    if (!in) badFormat();
    if (version <= 3 ? type > 2 : type > kLastTypeCode) badFormat();

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
    return type;
}

void readBody(std::istream& in, std::uint32_t version, Document& doc) {
    DocumentContent content;
    const int type = readHead(in, version, content);
    const bool familyNumber = version <= 3;

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
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw win_error(win_error::CodeOfErrno(EISDIR));
    std::ifstream in;
    // Smaller than the blocks of entry records, which then go straight from
    // the file to their buffer.
    static thread_local char buffer[8 * 1024];
    in.rdbuf()->pubsetbuf(buffer, sizeof buffer);
    errno = 0;
    in.open(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) throw win_error(win_error::CodeOfErrno(errno != 0 ? errno : EIO));
    ReadDocument(in, doc);
}

namespace {

template <typename T>
void appendValue(std::string& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// The file's bytes ahead of the packages, after the refresh from the device
// that every save makes.
std::string documentHead(Document& doc, std::size_t packageCount) {
    DeviceBase* device = doc.device();
    if (!device) throw UserError("no document is open");
    DocumentState& state = doc.state();
    Ident ident;
    device->GetIdent(ident);
    device->GetLines(state.currentLines);
    state.options.pulseWeight = device->PulseWeight();

    std::string out;
    out.append(kSignature, sizeof kSignature);
    appendValue(out, kDocumentVersion);
    appendValue(out, static_cast<std::uint8_t>(device->Type() & 0xFF));
    appendValue(out, ident.serial);
    appendValue(out, ident.du);
    appendValue(out, state.options);
    appendValue(out, static_cast<std::uint32_t>(state.currentLines.size()));
    for (const Line& line : state.currentLines) {
        appendValue(out, line.a);
        appendValue(out, line.b);
        appendValue(out, line.upper);
    }
    appendValue(out, static_cast<std::uint32_t>(packageCount));
    return out;
}

// The device's settings block that ends the file.
std::string documentTail(Document& doc) {
    DeviceBase* device = doc.device();
    std::vector<std::uint8_t> settings(static_cast<std::size_t>(std::max(0, device->GetSettings(nullptr))));
    if (!settings.empty()) device->GetSettings(settings.data());
    std::string out;
    appendValue(out, static_cast<std::uint32_t>(settings.size()));
    out.append(reinterpret_cast<const char*>(settings.data()), settings.size());
    return out;
}

void appendPackage(std::string& out, const PackageBase& package) {
    package.appendRecordHeader(out, static_cast<std::uint32_t>(package.entryCount()));
    package.appendEntryRecords(out);
}

// Writes are gathered into pieces of about this size: small enough to stay
// in the processor's cache between being filled and being copied to the
// file, which costs less than a package's records going through memory twice.
constexpr std::size_t kWritePiece = 256 * 1024;

}  // namespace

std::string DocumentBytes(Document& doc) {
    std::string out = documentHead(doc, doc.packages().size());
    std::size_t size = out.size();
    for (const PackagePtr& package : doc.packages())
        size += PackageBase::kRecordHeaderSize + package->entryCount() * package->entryRecordSize();
    out.reserve(size + 4 + 1024);
    for (const PackagePtr& package : doc.packages()) appendPackage(out, *package);
    out += documentTail(doc);
    return out;
}

void WriteDocument(const std::string& path, Document& doc) {
    // The new file is made first: a target that cannot take it changes
    // nothing, not even the document's lines.
    AtomicFile file(path);
    std::string piece = documentHead(doc, doc.packages().size());
    piece.reserve(2 * kWritePiece);
    for (const PackagePtr& package : doc.packages()) {
        const auto count = static_cast<std::size_t>(package->entryCount());
        package->appendRecordHeader(piece, static_cast<std::uint32_t>(count));
        const std::size_t step = std::max<std::size_t>(1, kWritePiece / package->entryRecordSize());
        for (std::size_t first = 0; first < count; first += step) {
            package->appendEntryRecords(piece, first, std::min(step, count - first));
            if (piece.size() >= kWritePiece) {
                file.write(piece);
                piece.clear();
            }
        }
    }
    piece += documentTail(doc);
    file.write(piece);
    file.commit();
}

void WriteDocument(const std::string& path, Document& doc, PackageStream& packages) {
    AtomicFile file(path);
    std::string piece = documentHead(doc, packages.packageCount());
    std::uint32_t count = 0;
    while (const PackageBase* package = packages.nextPackage(count)) {
        package->appendRecordHeader(piece, count);
        while (const PackageBase* block = packages.nextEntries()) {
            block->appendEntryRecords(piece);
            if (piece.size() >= kWritePiece) {
                file.write(piece);
                piece.clear();
            }
        }
    }
    piece += documentTail(doc);
    file.write(piece);
    file.commit();
}

// --- The document file read a package at a time ---

namespace {

// Entries per block of a streamed package: a few hundred kilobytes in memory.
constexpr std::size_t kEntriesPerBlock = 4096;

}  // namespace

struct DocumentFileReader::Impl {
    struct PackageAt {
        std::streamoff offset;  // of the record header
        bool massFlag;
    };

    char buffer[8 * 1024];
    std::ifstream file;
    std::stringstream oldBody{std::ios::in | std::ios::out | std::ios::binary};
    std::istream* in = nullptr;
    std::uint32_t version = 0;
    int entryType = 0;
    std::size_t recordSize = 0;
    std::vector<PackageAt> packages;
    std::size_t next = 0;
    // The state the document's load recalculates with, and the one of a
    // second recalculation; blocks are recalculated in `work`.
    DocumentState loaded;
    const DocumentState* again = nullptr;
    std::shared_ptr<DocumentState> work = std::make_shared<DocumentState>();
    // The package being read: what its header says and how much is left.
    PackagePtr package;
    Method headerMethod = Method::Volume;
    bool massFlag = false;
    std::uint64_t left = 0;
    std::vector<unsigned char> block;
};

DocumentFileReader::DocumentFileReader(const std::string& path) : m(std::make_unique<Impl>()) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw win_error(win_error::CodeOfErrno(EISDIR));
    m->file.rdbuf()->pubsetbuf(m->buffer, sizeof m->buffer);
    errno = 0;
    m->file.open(path, std::ios::in | std::ios::binary);
    if (!m->file.is_open()) throw win_error(win_error::CodeOfErrno(errno != 0 ? errno : EIO));
}

DocumentFileReader::~DocumentFileReader() = default;

void DocumentFileReader::open(Document& doc) {
    std::istream& file = m->file;
    char signature[4] = {};
    readBytes(file, signature, sizeof signature);
    const std::uint32_t version = readValue<std::uint32_t>(file);
    if (!file || std::memcmp(signature, kSignature, sizeof kSignature) != 0 || version < 1 || version > kDocumentVersion)
        badFormat();
    m->in = &file;
    m->version = version;
    if (version <= 2) {
        // The older layouts are converted whole, in memory, to a version 3 body.
        ConvertOldDocument(m->oldBody, file, static_cast<int>(version));
        m->oldBody.seekg(0);
        m->in = &m->oldBody;
        m->version = 3;
    }
    std::istream& in = *m->in;
    const std::streamoff start = in.tellg();
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    in.seekg(start);

    DocumentContent content;
    const int type = readHead(in, m->version, content);
    const bool familyNumber = m->version <= 3;

    static constexpr int kEntryTypeOfFamily[] = {0, 1, 2};
    m->entryType = familyNumber ? kEntryTypeOfFamily[type] : EntryTypeOfCode(type);
    m->recordSize = CreatePackage(m->entryType, m->work)->entryRecordSize();

    // Every package's records must be there: the header gives the count,
    // the family the record size, so the walk seeks from header to header.
    const std::uint32_t packageCount = readValue<std::uint32_t>(in);
    m->packages.reserve(std::min(packageCount, kMaxReserve));
    while (m->packages.size() < packageCount && in) {
        const std::streamoff offset = in.tellg();
        unsigned char header[PackageBase::kRecordHeaderSize];
        if (!readBytes(in, header, sizeof header)) break;
        std::uint32_t count;
        std::memcpy(&count, header + 18, sizeof count);
        const std::uint64_t recordsEnd = static_cast<std::uint64_t>(offset) + sizeof header +
                                         static_cast<std::uint64_t>(count) * m->recordSize;
        if (recordsEnd > static_cast<std::uint64_t>(end)) {
            in.setstate(std::ios::failbit);
            break;
        }
        m->packages.push_back({offset, header[1] != 0});
        in.seekg(static_cast<std::streamoff>(recordsEnd));
    }

    const std::uint32_t settingsSize = readValue<std::uint32_t>(in);
    if (!in || settingsSize > kMaxSettingsSize) badFormat();
    content.settings.resize(settingsSize);
    if (settingsSize > 0) readBytes(in, content.settings.data(), settingsSize);
    if (!in) badFormat();
    content.typeCode = familyNumber ? typeCodeOfFamily(type, content.settings) : type;
    if (!doc.load(std::move(content))) badFormat();
    m->loaded.options = doc.state().options;
    m->loaded.currentLines = doc.state().currentLines;
}

void DocumentFileReader::recalcAgainWith(const DocumentState* state) { m->again = state; }

std::size_t DocumentFileReader::packageCount() const { return m->packages.size(); }

const PackageBase* DocumentFileReader::nextPackage(std::uint32_t& count) {
    m->package.reset();
    m->left = 0;
    if (m->next >= m->packages.size()) return nullptr;
    const Impl::PackageAt& at = m->packages[m->next++];
    std::istream& in = *m->in;
    in.clear();
    in.seekg(at.offset);
    unsigned char header[PackageBase::kRecordHeaderSize];
    if (!readBytes(in, header, sizeof header)) badFormat();
    m->package = CreatePackage(m->entryType, m->work);
    count = m->package->loadRecordHeader(header);
    m->headerMethod = m->package->method;
    m->massFlag = at.massFlag;
    m->left = count;
    // Versions 1 to 4 keep the method as a flag (see methodFlagToMass).
    if (m->version <= 4) m->package->method = at.massFlag ? Method::Mass : Method::Volume;
    return m->package.get();
}

const PackageBase* DocumentFileReader::nextEntries() {
    if (!m->package || m->left == 0) return nullptr;
    PackageBase& package = *m->package;
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(m->left, kEntriesPerBlock));
    m->block.resize(n * m->recordSize);
    if (!readBytes(*m->in, m->block.data(), m->block.size())) badFormat();
    m->left -= n;
    const Method method = package.method;
    package.method = m->headerMethod;
    package.loadEntryRecords(m->block.data(), n);
    if (m->version <= 4) methodFlagToMass(package, m->massFlag);
    else package.method = method;
    DocumentState& work = *m->work;
    work.options = m->loaded.options;
    work.currentLines = m->loaded.currentLines;
    package.recalcAll();
    if (m->again) {
        work.options = m->again->options;
        work.currentLines = m->again->currentLines;
        package.recalcAll();
    }
    return &package;
}

}  // namespace files
