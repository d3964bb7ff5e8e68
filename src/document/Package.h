#pragma once

#include <type_traits>
#include <vector>

#include "document/EntryFields.h"
#include "document/PackageHelper.h"

// The package of one device family's entries.
template <typename T>
class Package : public PackageHelper {
public:
    using PackageHelper::PackageHelper;

    std::vector<T> entries;

    EntryType entryType() const override { return EntryTraits<T>::kType; }
    int columnCount() const override;
    ColumnInfo column(int col) const override;
    int columnField(int col) const override;
    std::string cellText(int row, int col) const override;
    void setCellText(int row, int col, const std::string& text) override;
    bool cellChecked(int row, int col) const override;
    void setCellChecked(int row, int col, bool checked) override;
    std::optional<FieldValue> fieldValue(int row, int id) const override;
    bool setFieldValue(int row, int id, const FieldValue& value) override;
    bool hasField(int id) const override;
    void addEntry() override;
    void appendBlankEntry() override { entries.push_back(T{}); }
    void deleteEntry(int row) override;
    int entryCount() const override { return static_cast<int>(entries.size()); }
    void recalcEntry(int row) override;
    void recalcAll() override;

    // --- Document file record (PackageRecord.cpp) ---
    void load(std::istream& in) override;
    void save(std::ostream& out) const override;
    std::size_t entryRecordSize() const override;
    void loadEntryRecords(const unsigned char* records, std::size_t count) override;
    void appendEntryRecords(std::string& out) const override;
    void appendEntryRecords(std::string& out, std::size_t first, std::size_t count) const override;
};

extern template class Package<DornEntry>;
extern template class Package<KeltEntry>;
extern template class Package<EprEntry>;
