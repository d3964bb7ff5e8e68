#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/SystemTime.h"
#include "document/DocumentState.h"
#include "document/Entries.h"

// One series of bench measurements of the transducer: a calibration or a
// verification by one reference method, shown as a table of typed columns.
// `row` is a 0-based entry index, `col` a 0-based position in the column list.
class PackageBase {
public:
    explicit PackageBase(std::shared_ptr<DocumentState> document) : m_document(std::move(document)) {}
    virtual ~PackageBase() = default;
    PackageBase(const PackageBase&) = delete;
    PackageBase& operator=(const PackageBase&) = delete;

    // The header; set once right after creation.
    PackageType type = PackageType::Calibration;
    Method method = Method::Volume;
    SystemTime created;

    virtual EntryType entryType() const = 0;
    virtual int columnCount() const = 0;
    // Descriptor of the column's field, with the read-only flag of the method.
    virtual ColumnInfo column(int col) const = 0;
    // Field id of a column.
    virtual int columnField(int col) const = 0;
    virtual std::string cellText(int row, int col) const = 0;
    // Accepts "," or "." as the decimal separator; a text that is not a
    // number throws UserError and leaves the entry unchanged.
    virtual void setCellText(int row, int col, const std::string& text) = 0;
    virtual bool cellChecked(int row, int col) const = 0;
    virtual void setCellChecked(int row, int col, bool checked) = 0;
    // A field's value, of the type its kind stores (FieldKindOf); nothing
    // for a field the entry type lacks.
    virtual std::optional<FieldValue> fieldValue(int row, int id) const = 0;
    // Stores a value into a field. A value of another kind than the field's
    // throws std::invalid_argument and changes nothing. Returns whether the
    // entry type has the field (one it lacks is left alone).
    virtual bool setFieldValue(int row, int id, const FieldValue& value) = 0;
    // The same with the value's type checked by the compiler: double for
    // Double fields, std::int32_t for Int32, std::uint8_t for Bool; a field
    // of another kind throws std::invalid_argument. A field the entry type
    // lacks is left alone (and `out` untouched). Return whether the entry
    // type has the field.
    bool getField(int row, int id, double* out) const { return getTyped(row, id, out); }
    bool getField(int row, int id, std::int32_t* out) const { return getTyped(row, id, out); }
    bool getField(int row, int id, std::uint8_t* out) const { return getTyped(row, id, out); }
    bool setField(int row, int id, const double* in) {
        return setFieldValue(row, id, FieldValue(std::in_place_type<double>, *in));
    }
    bool setField(int row, int id, const std::int32_t* in) {
        return setFieldValue(row, id, FieldValue(std::in_place_type<std::int32_t>, *in));
    }
    bool setField(int row, int id, const std::uint8_t* in) {
        return setFieldValue(row, id, FieldValue(std::in_place_type<std::uint8_t>, *in));
    }
    virtual bool hasField(int id) const = 0;
    virtual void addEntry() = 0;
    // Appends an all-zero entry without computing it (document readers).
    virtual void appendBlankEntry() = 0;
    virtual void deleteEntry(int row) = 0;
    virtual int entryCount() const = 0;
    virtual void recalcEntry(int row) = 0;
    virtual void recalcAll() = 0;

    // --- Document file record ---
    // Reads the package record of a document file: the header (a type byte
    // other than 0 is a verification, the method byte is taken as a signed
    // value clamped to 0 … 2), then the entry records while the stream holds
    // them. The entries are replaced only when all of them could be read; a
    // damaged count reserves no more than 256 entries in advance.
    virtual void load(std::istream& in) = 0;
    // Writes the record: type, low byte of the method, created, entry count
    // and the entries' stored fields.
    virtual void save(std::ostream& out) const = 0;

    // The record in parts, for reading and writing a package in blocks.
    // The header: type, method byte, created (8 words) and the entry count.
    static constexpr std::size_t kRecordHeaderSize = 22;
    // Takes type, method (clamped as load does) and created from a header
    // and returns its entry count.
    std::uint32_t loadRecordHeader(const unsigned char* header);
    void appendRecordHeader(std::string& out, std::uint32_t count) const;
    // The size of one entry record of the package's family.
    virtual std::size_t entryRecordSize() const = 0;
    // Replaces the entries by `count` entry records laid end to end; the
    // method in force says which reference quantity they hold.
    virtual void loadEntryRecords(const unsigned char* records, std::size_t count) = 0;
    // Appends the entries' records to `out`.
    virtual void appendEntryRecords(std::string& out) const = 0;
    // Appends the records of the `count` entries from `first` on (within
    // the entries).
    virtual void appendEntryRecords(std::string& out, std::size_t first, std::size_t count) const = 0;

    // Kelt and RV packages are sorted into flow sections by the approximation.
    using Section = ::Section;

    DocumentState& document() const { return *m_document; }

private:
    template <typename V>
    bool getTyped(int row, int id, V* out) const {
        const std::optional<FieldValue> value = fieldValue(row, id);
        if (!value) return false;
        const V* typed = std::get_if<V>(&*value);
        if (!typed) throw std::invalid_argument("a field of another kind");
        *out = *typed;
        return true;
    }

    std::shared_ptr<DocumentState> m_document;
};

using PackagePtr = std::shared_ptr<PackageBase>;
using Packages = std::vector<PackagePtr>;

// A new empty package of an entry type 0 Dorn, 1 Kelt, 2 RV; null for any
// other value. The caller sets the header.
PackagePtr CreatePackage(int entryType, std::shared_ptr<DocumentState> document);

// Tab caption: "Поверочный " or "Градуировочный " with the creation time as
// the short date, a blank and the time without seconds; "---" when the time
// cannot be formatted.
std::string packageName(const PackageBase& package);
