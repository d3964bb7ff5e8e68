#pragma once

#include <functional>
#include <string>

#include "components/GoodTable.h"
#include "document/Entries.h"
#include "document/Limits.h"

class PackageBase;

// The entry table's cells read from and written into a package, so the table
// copies nothing and a package of any size shows at once. A text the package
// cannot convert is dropped: the cell then shows the stored value again.
//
// The editor writes at every keystroke, so "1 000" would leave the 1 of its
// first key behind. The whole final text decides instead: when the editor
// closes on a text that is not wholly a number, the entry gets back the
// value it had when the editing began.
//
// A verification package may show one column more than the package has: the
// verdict ("Вывод") of each entry against the model's limits, judged as the
// cell is asked for, so it follows every edit. The errors that fail their
// limit are drawn in kFailColor, and so is "не годен".
class PackageTableSource final : public TGoodTableSource {
public:
    // Receives the text of any other failure of a write (the window's console).
    using ErrorHandler = std::function<void(const std::string& message)>;

    void setPackage(PackageBase* package) { m_package = package; }
    PackageBase* package() const { return m_package; }
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }

    static inline const QColor kFailColor{200, 0, 0};
    // The verdict column at `column` (the first after the package's shown
    // columns), judged by `limits`, with the pulse output's volume error
    // when `withVolume`; -1 shows none.
    void setVerdict(int column, const Limits& limits, bool withVolume);
    int verdictColumn() const { return m_verdictColumn; }

    QString cellText(int row, int col) const override;
    bool cellChecked(int row, int col) const override;
    QColor cellTextColor(int row, int col) const override;
    void setCellText(int row, int col, const QString& text) override;
    void setCellChecked(int row, int col, bool checked) override;
    void editStarted(int row, int col) override;
    bool editFinished(int row, int col, const QString& text) override;

private:
    // The edited field as it was when the editor opened: its value, not its
    // text, so that no digit beyond the column's decimals is lost.
    struct EditStart {
        PackageBase* package = nullptr;
        int row = -1;
        int field = -1;
        FieldValue value;
    };

    PackageBase* m_package = nullptr;
    ErrorHandler m_onError;
    EditStart m_editStart;
    int m_verdictColumn = -1;
    Limits m_limits;
    bool m_withVolume = false;
};
