#pragma once

#include <functional>
#include <string>

#include "components/GoodTable.h"

class PackageBase;

// The entry table's cells read from and written into a package, so the table
// copies nothing and a package of any size shows at once. A text the package
// cannot convert is dropped: the cell then shows the stored value again.
class PackageTableSource final : public TGoodTableSource {
public:
    // Receives the text of any other failure of a write (the window's console).
    using ErrorHandler = std::function<void(const std::string& message)>;

    void setPackage(PackageBase* package) { m_package = package; }
    PackageBase* package() const { return m_package; }
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    QString cellText(int row, int col) const override;
    bool cellChecked(int row, int col) const override;
    void setCellText(int row, int col, const QString& text) override;
    void setCellChecked(int row, int col, bool checked) override;

private:
    PackageBase* m_package = nullptr;
    ErrorHandler m_onError;
};
