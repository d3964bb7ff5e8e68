#pragma once

#include <cstring>
#include <type_traits>
#include <vector>

#include "document/PackageHelper.h"

// Where each field lives in an entry of type T; null for a field the entry
// type lacks.
template <typename T>
struct EntryTraits;

template <>
struct EntryTraits<DornEntry> {
    static constexpr EntryType kType = EntryType::Dorn;
    static void* field(DornEntry& e, int id);
};
template <>
struct EntryTraits<KeltEntry> {
    static constexpr EntryType kType = EntryType::Kelt;
    static void* field(KeltEntry& e, int id);
};
template <>
struct EntryTraits<EprEntry> {
    static constexpr EntryType kType = EntryType::RV;
    static void* field(EprEntry& e, int id);
};

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
    bool getField(int row, int id, void* out) const override;
    bool setField(int row, int id, const void* in) override;
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

private:
    static const void* fieldOf(const T& e, int id) { return EntryTraits<T>::field(const_cast<T&>(e), id); }
};

extern template class Package<DornEntry>;
extern template class Package<KeltEntry>;
extern template class Package<EprEntry>;
