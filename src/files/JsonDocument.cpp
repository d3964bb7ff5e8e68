#include "files/JsonDocument.h"
#include "files/JsonNumber.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <stop_token>
#include <thread>

#include "common/MathError.h"
#include "document/Document.h"
#include "document/EntryFields.h"
#include "document/Package.h"

namespace files {

namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& path, const std::string& what) { throw UserError(path + ": " + what); }

const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

double number(const json& value, const std::string& path) {
    if (!value.is_number()) fail(path, "a number is expected");
    return value.get<double>();
}

long long integer(const json& value, const std::string& path, long long lo, long long hi) {
    if (!value.is_number_integer()) fail(path, "an integer is expected");
    if (value.is_number_unsigned() && value.get<unsigned long long>() > static_cast<unsigned long long>(hi))
        fail(path, "out of range " + std::to_string(lo) + " … " + std::to_string(hi));
    const long long v = value.get<long long>();
    if (v < lo || v > hi) fail(path, "out of range " + std::to_string(lo) + " … " + std::to_string(hi));
    return v;
}

std::uint8_t flag(const json& value, const std::string& path) {
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    return static_cast<std::uint8_t>(integer(value, path, 0, 1));
}

const json& objectAt(const json& value, const std::string& path) {
    if (!value.is_object()) fail(path, "an object is expected");
    return value;
}

const json& arrayAt(const json& value, const std::string& path) {
    if (!value.is_array()) fail(path, "an array is expected");
    return value;
}

std::vector<std::uint8_t> hexBytes(const json& value, const std::string& path) {
    if (!value.is_string()) fail(path, "a hex string is expected");
    const std::string text = value.get<std::string>();
    if (text.size() % 2 != 0) fail(path, "a hex string is expected");
    std::vector<std::uint8_t> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        unsigned v = 0;
        for (std::size_t k = i; k < i + 2; ++k) {
            const char c = text[k];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned>(c - 'A' + 10);
            else fail(path, "a hex string is expected");
        }
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

std::string hexText(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

// The reference quantity that a method makes the input.
int referenceField(Method method) {
    switch (method) {
        case Method::Mass: return kMassRef;
        case Method::Reference: return kFlowRef;
        case Method::Volume: break;
    }
    return kVolRef;
}

void readEntry(const json& in, PackageBase& package, int row, const std::string& path) {
    objectAt(in, path);
    // Only the fields a document file stores; derived ones are recomputed.
    const int stored[] = {kT, referenceField(package.method), kTimeRef, kTime1, kCode, kPulses1, kPulses2,
                          kSection, kPoint, kOff};
    for (int id : stored) {
        if (!package.hasField(id)) continue;
        const json* value = member(in, FieldName(id));
        if (!value) continue;
        const std::string fieldPath = path + "." + FieldName(id);
        switch (FieldInfo(id).kind) {
            case FieldKind::Double: {
                const double v = number(*value, fieldPath);
                package.setField(row, id, &v);
                break;
            }
            case FieldKind::Int32: {
                const auto v = static_cast<std::int32_t>(integer(*value, fieldPath, std::numeric_limits<std::int32_t>::min(),
                                                                 std::numeric_limits<std::int32_t>::max()));
                package.setField(row, id, &v);
                break;
            }
            case FieldKind::Bool: {
                const std::uint8_t v = flag(*value, fieldPath);
                package.setField(row, id, &v);
                break;
            }
        }
    }
}

PackagePtr readPackage(const json& in, int entryType, const Document& doc, const std::string& path) {
    objectAt(in, path);
    PackagePtr package = CreatePackage(entryType, doc.sharedState());
    const json* type = member(in, "type");
    const json* method = member(in, "method");
    package->type = type ? static_cast<PackageType>(integer(*type, path + ".type", 0, 1)) : PackageType::Calibration;
    package->method = method ? static_cast<Method>(integer(*method, path + ".method", 0, 2)) : Method::Volume;
    if (const json* created = member(in, "created")) {
        if (!created->is_string()) fail(path + ".created", "a text \"YYYY-MM-DDTHH:MM:SS.mmm\" is expected");
        const auto time = SystemTime::fromIso(created->get<std::string>());
        if (!time) fail(path + ".created", "a text \"YYYY-MM-DDTHH:MM:SS.mmm\" is expected");
        package->created = *time;
    }
    if (const json* entries = member(in, "entries")) {
        arrayAt(*entries, path + ".entries");
        // A zeroed entry receives the stored fields, as the file reader does.
        for (std::size_t i = 0; i < entries->size(); ++i) {
            package->appendBlankEntry();
            readEntry((*entries)[i], *package, package->entryCount() - 1,
                      path + ".entries[" + std::to_string(i) + "]");
        }
    }
    return package;
}

json linesToJson(const Lines& lines) {
    json out = json::array();
    for (const Line& l : lines) out.push_back({{"a", l.a}, {"b", l.b}, {"upper", l.upper}});
    return out;
}

json entryToJson(const PackageBase& package, int row) {
    json out = json::object();
    for (int id = 0; id < kFieldCount; ++id) {
        if (!package.hasField(id)) continue;
        switch (FieldInfo(id).kind) {
            case FieldKind::Double: {
                double v = 0;
                package.getField(row, id, &v);
                out[FieldName(id)] = v;
                break;
            }
            case FieldKind::Int32: {
                std::int32_t v = 0;
                package.getField(row, id, &v);
                out[FieldName(id)] = v;
                break;
            }
            case FieldKind::Bool: {
                std::uint8_t v = 0;
                package.getField(row, id, &v);
                out[FieldName(id)] = v;
                break;
            }
        }
    }
    return out;
}

std::vector<std::uint8_t> deviceSettings(const DeviceBase& device) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(device.GetSettings(nullptr)));
    device.GetSettings(bytes.data());
    return bytes;
}

}  // namespace

void ReadJsonDocument(const json& in, Document& doc) {
    objectAt(in, "document");
    DocumentContent content;
    const json* type = member(in, "type");
    if (!type) fail("type", "the device type code is missing");
    content.typeCode = static_cast<int>(integer(*type, "type", kRvCode, kLastKeltCode));

    if (const json* ident = member(in, "ident")) {
        objectAt(*ident, "ident");
        if (const json* v = member(*ident, "serial"))
            content.ident.serial = static_cast<std::uint32_t>(integer(*v, "ident.serial", 0, 0xFFFFFFFFll));
        if (const json* v = member(*ident, "du")) content.ident.du = static_cast<std::uint8_t>(integer(*v, "ident.du", 0, 255));
    }

    content.options.resetToDefaults();
    if (const json* options = member(in, "options")) {
        objectAt(*options, "options");
        ApprOptions& o = content.options;
        if (const json* v = member(*options, "function")) o.function = static_cast<std::uint8_t>(integer(*v, "options.function", 0, 2));
        if (const json* v = member(*options, "manual")) o.manual = flag(*v, "options.manual");
        if (const json* v = member(*options, "byEntries")) o.byEntries = flag(*v, "options.byEntries");
        if (const json* v = member(*options, "refTemp")) o.refTemp = number(*v, "options.refTemp");
        if (const json* v = member(*options, "maxAutoErr")) o.maxAutoErr = number(*v, "options.maxAutoErr");
        if (const json* v = member(*options, "sectionScatter")) o.sectionScatter = number(*v, "options.sectionScatter");
        if (const json* v = member(*options, "pulseWeight")) o.pulseWeight = number(*v, "options.pulseWeight");
    }

    if (const json* lines = member(in, "lines")) {
        arrayAt(*lines, "lines");
        for (std::size_t i = 0; i < lines->size(); ++i) {
            const std::string path = "lines[" + std::to_string(i) + "]";
            const json& line = objectAt((*lines)[i], path);
            Line l;
            if (const json* v = member(line, "a")) l.a = number(*v, path + ".a");
            if (const json* v = member(line, "b")) l.b = number(*v, path + ".b");
            if (const json* v = member(line, "upper")) l.upper = number(*v, path + ".upper");
            content.lines.push_back(l);
        }
    }

    const json* settings = member(in, "settings");
    content.hasSettings = settings != nullptr;
    if (settings) content.settings = hexBytes(*settings, "settings");

    const int entryType = EntryTypeOfCode(content.typeCode);
    if (const json* packages = member(in, "packages")) {
        arrayAt(*packages, "packages");
        for (std::size_t i = 0; i < packages->size(); ++i)
            content.packages.push_back(readPackage((*packages)[i], entryType, doc, "packages[" + std::to_string(i) + "]"));
    }

    if (!doc.load(std::move(content))) fail("type", "unknown device type code");
}

namespace {

// The document's members but its packages.
json documentFrame(const Document& doc) {
    json out = json::object();
    const DeviceBase* device = doc.device();
    const DocumentState& state = doc.state();
    Ident ident;
    if (device) device->GetIdent(ident);
    out["type"] = device ? device->Type() : -1;
    out["ident"] = {{"serial", ident.serial}, {"du", ident.du}};
    const ApprOptions& o = state.options;
    // The options are packed: their doubles are copied out, since json would
    // bind a reference to a misaligned field.
    const double refTemp = o.refTemp, maxAutoErr = o.maxAutoErr, sectionScatter = o.sectionScatter,
                 pulseWeight = o.pulseWeight;
    out["options"] = {{"function", o.function},     {"manual", o.manual},         {"byEntries", o.byEntries},
                      {"refTemp", refTemp},         {"maxAutoErr", maxAutoErr}, {"sectionScatter", sectionScatter},
                      {"pulseWeight", pulseWeight}};
    out["lines"] = linesToJson(state.currentLines);
    out["settings"] = device ? hexText(deviceSettings(*device)) : "";
    if (device) {
        Lines lines;
        device->GetLines(lines);
        out["device"] = {{"name", device->Name()},
                         {"type", device->Type()},
                         {"pulseWeight", device->PulseWeight()},
                         {"lines", linesToJson(lines)},
                         {"settings", hexText(deviceSettings(*device))},
                         {"hiddenColumns", {device->HiddenColumns(false), device->HiddenColumns(true)}}};
    }
    return out;
}

// A value as dump(2) prints it inside a tree at `depth`: the same text with
// every following line indented by the depth.
void appendIndented(std::string& out, const json& value, int depth) {
    const std::string text = value.dump(2);
    std::size_t from = 0;
    while (true) {
        const std::size_t newline = text.find('\n', from);
        if (newline == std::string::npos) break;
        out.append(text, from, newline + 1 - from);
        out.append(static_cast<std::size_t>(depth) * 2, ' ');
        from = newline + 1;
    }
    out.append(text, from, std::string::npos);
}

// Text is handed on in pieces of about this size.
constexpr std::size_t kWritePiece = 1 << 20;

// The longest text of one number: a double (kJsonDoubleChars) or an int32.
constexpr std::size_t kNumberChars = kJsonDoubleChars;

// The text, filled in place and handed to `write` a piece at a time, so
// that no string grows or is copied per value.
class PieceBuffer {
public:
    explicit PieceBuffer(const std::function<void(std::string_view)>& write)
        : m_write(write), m_data(std::make_unique_for_overwrite<char[]>(kCapacity)) {}
    PieceBuffer(const PieceBuffer&) = delete;
    PieceBuffer& operator=(const PieceBuffer&) = delete;

    // Room for at most `n` (≤ kWritePiece) more chars at the returned place;
    // done(end) keeps what was written up to `end`.
    char* room(std::size_t n) {
        if (m_size + n > kCapacity) flush();
        return m_data.get() + m_size;
    }
    void done(const char* end) {
        m_size = static_cast<std::size_t>(end - m_data.get());
        if (m_size >= kWritePiece) flush();
    }
    void append(std::string_view text) {
        while (!text.empty()) {
            const std::size_t n = std::min(text.size(), kWritePiece);
            char* at = room(n);
            std::memcpy(at, text.data(), n);
            done(at + n);
            text.remove_prefix(n);
        }
    }
    // A long text handed on as it is, after what is held.
    void pass(std::string_view text) {
        flush();
        m_write(text);
    }
    void flush() {
        if (m_size == 0) return;
        m_write(std::string_view(m_data.get(), m_size));
        m_size = 0;
    }

private:
    static constexpr std::size_t kCapacity = 2 * kWritePiece;
    const std::function<void(std::string_view)>& m_write;
    std::unique_ptr<char[]> m_data;
    std::size_t m_size = 0;
};

// Where the entries of a block lie: `count` entries of `stride` bytes from
// `first`, each field at its offset in the entry's own layout.
struct EntryBytes {
    const unsigned char* first = nullptr;
    std::size_t stride = 0;
    int count = 0;
    std::size_t (*offsetOf)(int id) = nullptr;
};

template <typename T>
std::size_t offsetIn(int id) {
    return FindEntryField<T>(id)->offset;
}

template <typename T>
bool bytesOf(const PackageBase& block, EntryBytes& out) {
    const auto* typed = dynamic_cast<const Package<T>*>(&block);
    if (!typed) return false;
    out = {reinterpret_cast<const unsigned char*>(typed->entries.data()), sizeof(T),
           static_cast<int>(typed->entries.size()), &offsetIn<T>};
    return true;
}

template <typename V>
V load(const unsigned char* at) {
    V value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The text ahead of a member's value, padded so that it is copied as one
// fixed-size piece; a longer one is copied by its length.
constexpr std::size_t kPrefixChars = 32;

// A block of at least this many entries is written by two threads, its last
// entries on a thread of its own into a buffer of its own. The numbers are
// most of the time, and every entry's text depends on that entry alone.
constexpr int kSplitEntries = 1024;

// How the entries of one block are written: the members in dump's (sorted)
// order with the text ahead of each value, and the most one entry can take.
class EntryWriter {
public:
    explicit EntryWriter(const PackageBase& block) {
        if (!bytesOf<KeltEntry>(block, m_entries) && !bytesOf<DornEntry>(block, m_entries) &&
            !bytesOf<EprEntry>(block, m_entries))
            throw std::logic_error("a package of an unknown entry type");
        for (int id = 0; id < kFieldCount; ++id)
            if (block.hasField(id)) m_members.push_back({m_entries.offsetOf(id), FieldInfo(id).kind, FieldName(id)});
        std::sort(m_members.begin(), m_members.end(),
                  [](const Member& l, const Member& r) { return l.name < r.name; });
        for (std::size_t k = 0; k < m_members.size(); ++k) {
            Member& m = m_members[k];
            m.name = (k == 0 ? "{\n          " : ",\n          ") + json(m.name).dump() + ": ";
            m.length = m.name.size();
            if (m.length <= kPrefixChars) std::memcpy(m.prefix, m.name.data(), m.length);
            else m_shortPrefixes = false;
            m_entryChars += std::max(m.length, kPrefixChars) + kNumberChars;
        }
    }

    int count() const { return m_entries.count; }
    std::size_t entryChars() const { return m_entryChars; }

    // Entry `row` as an object at depth 4 of dump(2), the text
    // entryToJson(...).dump(2) gives it, with the separator before it;
    // returns the end of what was written.
    char* write(char* at, int row, bool first) const {
        if (first) {
            std::memcpy(at, "        ", 8);
            at += 8;
        } else {
            std::memcpy(at, ",\n        ", 10);
            at += 10;
        }
        const unsigned char* entry = m_entries.first + static_cast<std::size_t>(row) * m_entries.stride;
        for (const Member& m : m_members) {
            if (m_shortPrefixes) std::memcpy(at, m.prefix, kPrefixChars);
            else std::memcpy(at, m.name.data(), m.length);
            at += m.length;
            const unsigned char* field = entry + m.offset;
            switch (m.kind) {
                case FieldKind::Double: at = WriteJsonDouble(at, load<double>(field)); break;
                case FieldKind::Int32: at = std::to_chars(at, at + kNumberChars, load<std::int32_t>(field)).ptr; break;
                case FieldKind::Bool: at = std::to_chars(at, at + kNumberChars, unsigned{*field}).ptr; break;
            }
        }
        std::memcpy(at, "\n        }", 10);
        return at + 10;
    }

private:
    struct Member {
        std::size_t offset;
        FieldKind kind;
        std::string name;
        std::size_t length = 0;
        char prefix[kPrefixChars] = {};
    };
    EntryBytes m_entries;
    std::vector<Member> m_members;
    bool m_shortPrefixes = true;
    std::size_t m_entryChars = 32;
};

// A thread that writes the last entries of a large block into a buffer of
// its own while the caller writes the first ones. It is made with the first
// such block and kept, with its buffer, for the rest of the document.
class TailWriter {
public:
    TailWriter() : m_thread([this](std::stop_token stop) { run(stop); }) {}
    TailWriter(const TailWriter&) = delete;
    TailWriter& operator=(const TailWriter&) = delete;

    // Starts writing entries [from, to) of `writer`, which must outlive the
    // matching text() call.
    void start(const EntryWriter& writer, int from, int to) {
        const std::size_t need = writer.entryChars() * static_cast<std::size_t>(to - from);
        if (need > m_capacity) {
            m_buffer = std::make_unique_for_overwrite<char[]>(need);
            m_capacity = need;
        }
        std::lock_guard lock(m_mutex);
        m_writer = &writer;
        m_from = from;
        m_to = to;
        m_busy = true;
        m_wake.notify_all();
    }

    // Waits for the entries started last and returns their text.
    std::string_view text() {
        std::unique_lock lock(m_mutex);
        m_wake.wait(lock, [this] { return !m_busy; });
        return {m_buffer.get(), static_cast<std::size_t>(m_end - m_buffer.get())};
    }

private:
    void run(std::stop_token stop) {
        std::unique_lock lock(m_mutex);
        while (m_wake.wait(lock, stop, [this] { return m_busy; })) {
            char* at = m_buffer.get();
            lock.unlock();
            for (int row = m_from; row < m_to; ++row) at = m_writer->write(at, row, false);
            lock.lock();
            m_end = at;
            m_busy = false;
            m_wake.notify_all();
        }
    }

    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    const EntryWriter* m_writer = nullptr;
    int m_from = 0, m_to = 0;
    bool m_busy = false;
    char* m_end = nullptr;
    // Last: it starts once the members above exist, and its stop, which
    // ends the wait in run(), and join come first when the writer goes.
    std::jthread m_thread;
};

// The entries of a block; `first` when they open the package's array. A
// block of kSplitEntries or more is written in two halves at once, the second
// by `tails` (made on first use).
void appendEntries(PieceBuffer& text, const PackageBase& block, bool first, std::unique_ptr<TailWriter>& tails) {
    const EntryWriter writer(block);
    const int count = writer.count();
    const int split = count >= kSplitEntries ? count / 2 : count;
    if (split < count) {
        if (!tails) tails = std::make_unique<TailWriter>();
        tails->start(writer, split, count);
    }
    // The second part is waited for even when handing on the first fails,
    // since it reads `writer`.
    struct WaitForTail {
        TailWriter* tails;
        ~WaitForTail() {
            if (tails) tails->text();
        }
    } wait{split < count ? tails.get() : nullptr};
    for (int row = 0; row < split; ++row)
        text.done(writer.write(text.room(writer.entryChars()), row, first && row == 0));
    if (wait.tails) text.pass(wait.tails->text());
}

// The packages array at depth 1, the members of each package in dump's
// (sorted) order: created, entries, method, name, type.
void writePackages(PieceBuffer& text, PackageStream& packages) {
    std::unique_ptr<TailWriter> tails;
    std::uint32_t count = 0;
    const PackageBase* package = packages.nextPackage(count);
    if (!package) {
        text.append("[]");
        return;
    }
    text.append("[\n");
    bool firstPackage = true;
    while (package) {
        text.append(firstPackage ? "    {\n" : ",\n    {\n");
        firstPackage = false;
        const std::string tail = ",\n      \"method\": " + json(static_cast<int>(package->method)).dump() +
                                 ",\n      \"name\": " + json(packageName(*package)).dump() +
                                 ",\n      \"type\": " + json(static_cast<int>(package->type)).dump() + "\n    }";
        text.append("      \"created\": " + json(package->created.toIso()).dump() + ",\n      \"entries\": ");
        const PackageBase* block = packages.nextEntries();
        if (!block) {
            text.append("[]");
        } else {
            text.append("[\n");
            bool firstEntry = true;
            while (block) {
                appendEntries(text, *block, firstEntry, tails);
                firstEntry = false;
                block = packages.nextEntries();
            }
            text.append("\n      ]");
        }
        text.append(tail);
        package = packages.nextPackage(count);
    }
    text.append("\n  ]");
}

}  // namespace

json DocumentToJson(const Document& doc) {
    json out = documentFrame(doc);
    json packages = json::array();
    for (const PackagePtr& p : doc.packages()) {
        json entries = json::array();
        for (int row = 0; row < p->entryCount(); ++row) entries.push_back(entryToJson(*p, row));
        packages.push_back({{"type", static_cast<int>(p->type)},
                            {"method", static_cast<int>(p->method)},
                            {"created", p->created.toIso()},
                            {"name", packageName(*p)},
                            {"entries", std::move(entries)}});
    }
    out["packages"] = std::move(packages);
    return out;
}

void WriteDocumentJson(const Document& doc, const json& extra, PackageStream& packages,
                       const std::function<void(std::string_view)>& write) {
    json top = documentFrame(doc);
    for (const auto& [key, value] : extra.items()) top[key] = value;
    top["packages"] = nullptr;  // its place among the sorted members
    PieceBuffer text(write);
    text.append("{");
    bool first = true;
    for (auto it = top.begin(); it != top.end(); ++it) {
        std::string member = first ? "\n  " : ",\n  ";
        first = false;
        member += json(it.key()).dump();
        member += ": ";
        if (it.key() == "packages") {
            text.append(member);
            writePackages(text, packages);
        } else {
            appendIndented(member, it.value(), 1);
            text.append(member);
        }
    }
    text.append("\n}");
    text.flush();
}

}  // namespace files
