// The package record of the document file: header and entry records.

#include <algorithm>
#include <array>
#include <cstring>
#include <istream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "document/Package.h"
#include "common/BinaryIo.h"

namespace {

// One stored field of an entry record: its field id, or kReference for the
// reference quantity that the package's method makes the input.
constexpr int kReference = -1;

template <typename T>
struct EntryRecord;

// Offsets follow from the order; every field is stored at its kind's width.
template <>
struct EntryRecord<DornEntry> {
    static constexpr int kFields[] = {kT, kReference, kTimeRef, kTime1, kPulses1, kPulses2, kOff};
    static constexpr std::size_t kSize = 41;
};
template <>
struct EntryRecord<KeltEntry> {
    static constexpr int kFields[] = {kT, kReference, kTimeRef, kTime1, kPulses1, kPulses2, kSection, kPoint, kOff};
    static constexpr std::size_t kSize = 46;
};
template <>
struct EntryRecord<EprEntry> {
    static constexpr int kFields[] = {kT, kReference, kTimeRef, kCode, kPulses2, kSection, kPoint, kOff};
    static constexpr std::size_t kSize = 42;
};

// Stored width of a field: its kind's width (8 for the doubles and the
// reference quantity, 4 for the counters, 1 for the flags).
constexpr std::size_t storedSize(int id) { return FieldWidth(FieldKindOf(id == kReference ? kVolRef : id)); }

template <typename T>
constexpr std::size_t recordSize() {
    std::size_t size = 0;
    for (int id : EntryRecord<T>::kFields) size += storedSize(id);
    return size;
}
static_assert(recordSize<DornEntry>() == EntryRecord<DornEntry>::kSize);
static_assert(recordSize<KeltEntry>() == EntryRecord<KeltEntry>::kSize);
static_assert(recordSize<EprEntry>() == EntryRecord<EprEntry>::kSize);

// Every stored field is one the entry type has; each reference quantity is
// a double of every entry type.
template <typename T>
constexpr bool recordFieldsPresent() {
    for (int id : EntryRecord<T>::kFields)
        if (id != kReference && !FindEntryField<T>(id)) return false;
    for (int id : {kVolRef, kMassRef, kFlowRef})
        if (!FindEntryField<T>(id) || FieldKindOf(id) != FieldKind::Double) return false;
    return true;
}
static_assert(recordFieldsPresent<DornEntry>());
static_assert(recordFieldsPresent<KeltEntry>());
static_assert(recordFieldsPresent<EprEntry>());

// Where each stored field of a record goes in the entry, for one reference
// quantity: the entry offset, the record offset and the width. Fixed at
// compile time, so a record is copied field by field without table lookups.
struct Slot {
    std::size_t entryOffset;
    std::size_t recordOffset;
    std::size_t size;
};

template <typename T, int Reference>
constexpr auto recordSlots() {
    std::array<Slot, std::size(EntryRecord<T>::kFields)> slots{};
    std::size_t at = 0;
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const int id = EntryRecord<T>::kFields[i];
        slots[i] = {FindEntryField<T>(id == kReference ? Reference : id)->offset, at, storedSize(id)};
        at += storedSize(id);
    }
    return slots;
}

template <typename T, int Reference>
void decodeRecords(const unsigned char* records, std::size_t count, std::vector<T>& out) {
    static constexpr auto kSlots = recordSlots<T, Reference>();
    const std::size_t first = out.size();
    out.resize(first + count);
    for (std::size_t n = 0; n < count; ++n) {
        auto* entry = reinterpret_cast<unsigned char*>(&out[first + n]);
        const unsigned char* record = records + n * EntryRecord<T>::kSize;
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (std::memcpy(entry + kSlots[I].entryOffset, record + kSlots[I].recordOffset, kSlots[I].size), ...);
        }(std::make_index_sequence<kSlots.size()>{});
    }
}

template <typename T, int Reference>
void encodeRecords(const T* entries, std::size_t count, std::string& out) {
    static constexpr auto kSlots = recordSlots<T, Reference>();
    const std::size_t first = out.size();
    out.resize(first + count * EntryRecord<T>::kSize);
    auto* record = reinterpret_cast<unsigned char*>(out.data() + first);
    for (const T* e = entries; e != entries + count; ++e) {
        const auto* entry = reinterpret_cast<const unsigned char*>(e);
        [&]<std::size_t... I>(std::index_sequence<I...>) {
            (std::memcpy(record + kSlots[I].recordOffset, entry + kSlots[I].entryOffset, kSlots[I].size), ...);
        }(std::make_index_sequence<kSlots.size()>{});
        record += EntryRecord<T>::kSize;
    }
}

// Calls `f` with the reference field of the method as a compile-time value.
template <typename F>
void withReference(Method method, F&& f) {
    switch (method) {
        case Method::Mass: f(std::integral_constant<int, kMassRef>{}); return;
        case Method::Reference: f(std::integral_constant<int, kFlowRef>{}); return;
        case Method::Volume: break;
    }
    f(std::integral_constant<int, kVolRef>{});
}

// Entry records are read in blocks of about 32 KB: few reads, and a small
// buffer whatever the count says.
template <typename T>
constexpr std::size_t kRecordsPerBlock = 32 * 1024 / EntryRecord<T>::kSize;

// Whether a stream that can seek holds at least `size` more bytes. A count
// whose records are all there is reserved at once; any other (damaged, or a
// stream that cannot tell) reserves no more than 256 entries ahead.
bool backedByStream(std::istream& in, std::uint64_t size) {
    if (!in) return false;
    const std::streampos here = in.tellg();
    if (here == std::streampos(-1)) {
        in.clear(in.rdstate() & ~std::ios::failbit);
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streampos end = in.tellg();
    in.clear();
    in.seekg(here);
    return end != std::streampos(-1) && end >= here && static_cast<std::uint64_t>(end - here) >= size;
}

}  // namespace

std::uint32_t PackageBase::loadRecordHeader(const unsigned char* header) {
    std::uint16_t words[8];
    std::memcpy(words, header + 2, sizeof words);
    type = header[0] != 0 ? PackageType::Verification : PackageType::Calibration;
    method = static_cast<Method>(std::clamp<int>(static_cast<std::int8_t>(header[1]), 0, 2));
    created.year = words[0];
    created.month = words[1];
    created.dayOfWeek = words[2];
    created.day = words[3];
    created.hour = words[4];
    created.minute = words[5];
    created.second = words[6];
    created.milliseconds = words[7];
    std::uint32_t count;
    std::memcpy(&count, header + 18, sizeof count);
    return count;
}

void PackageBase::appendRecordHeader(std::string& out, std::uint32_t count) const {
    unsigned char header[kRecordHeaderSize];
    header[0] = static_cast<std::uint8_t>(type);
    header[1] = static_cast<std::uint8_t>(static_cast<std::int32_t>(method) & 0xFF);
    const std::uint16_t words[8] = {created.year, created.month, created.dayOfWeek, created.day,
                                    created.hour, created.minute, created.second, created.milliseconds};
    std::memcpy(header + 2, words, sizeof words);
    std::memcpy(header + 18, &count, sizeof count);
    out.append(reinterpret_cast<const char*>(header), sizeof header);
}

template <typename T>
std::size_t Package<T>::entryRecordSize() const {
    return EntryRecord<T>::kSize;
}

template <typename T>
void Package<T>::loadEntryRecords(const unsigned char* records, std::size_t count) {
    entries.clear();
    withReference(method, [&](auto reference) { decodeRecords<T, reference()>(records, count, entries); });
}

template <typename T>
void Package<T>::appendEntryRecords(std::string& out) const {
    appendEntryRecords(out, 0, entries.size());
}

template <typename T>
void Package<T>::appendEntryRecords(std::string& out, std::size_t first, std::size_t count) const {
    if (first > entries.size() || count > entries.size() - first) throw std::out_of_range("entry records");
    withReference(method, [&](auto reference) { encodeRecords<T, reference()>(entries.data() + first, count, out); });
}

template <typename T>
void Package<T>::load(std::istream& in) {
    unsigned char header[kRecordHeaderSize];
    if (!files::readBytes(in, header, sizeof header)) {
        // A header cut short still sets what it holds, as field-by-field
        // reading did; the stream stays failed.
        return;
    }
    const std::uint32_t count = loadRecordHeader(header);

    // The entries are read into a package of their own and replace these
    // only when all of them are there.
    std::vector<T> kept = std::move(entries);
    entries.clear();
    entries.reserve(backedByStream(in, count * std::uint64_t{EntryRecord<T>::kSize}) ? count
                                                                                  : std::min(count, files::kMaxReserve));
    std::vector<unsigned char> block(std::min<std::size_t>(count, kRecordsPerBlock<T>) * EntryRecord<T>::kSize);
    std::size_t left = count;
    while (left > 0) {
        const std::size_t n = std::min(left, kRecordsPerBlock<T>);
        if (!files::readBytes(in, block.data(), n * EntryRecord<T>::kSize)) break;
        withReference(method, [&](auto reference) { decodeRecords<T, reference()>(block.data(), n, entries); });
        left -= n;
    }
    if (!in) entries = std::move(kept);
}

template <typename T>
void Package<T>::save(std::ostream& out) const {
    std::string record;
    record.reserve(kRecordHeaderSize + entries.size() * EntryRecord<T>::kSize);
    appendRecordHeader(record, static_cast<std::uint32_t>(entries.size()));
    appendEntryRecords(record);
    files::writeBytes(out, record.data(), record.size());
}

#define INSTANTIATE_RECORDS(Entry)                                                   \
    template std::size_t Package<Entry>::entryRecordSize() const;                   \
    template void Package<Entry>::loadEntryRecords(const unsigned char*, std::size_t); \
    template void Package<Entry>::appendEntryRecords(std::string&) const;           \
    template void Package<Entry>::appendEntryRecords(std::string&, std::size_t, std::size_t) const; \
    template void Package<Entry>::load(std::istream&);                              \
    template void Package<Entry>::save(std::ostream&) const;
INSTANTIATE_RECORDS(DornEntry)
INSTANTIATE_RECORDS(KeltEntry)
INSTANTIATE_RECORDS(EprEntry)
#undef INSTANTIATE_RECORDS
