#include "PackageTableSource.h"

#include <exception>

#include "common/MathError.h"
#include "document/PackageBase.h"
#include "document/Verdict.h"

void PackageTableSource::setVerdict(int column, const Limits& limits, bool withVolume) {
    m_verdictColumn = column;
    m_limits = limits;
    m_withVolume = withVolume;
}

QString PackageTableSource::cellText(int row, int col) const {
    if (!m_package) return {};
    if (col == m_verdictColumn)
        return QString::fromStdString(EntryVerdictText(CheckEntry(*m_package, row, m_limits, m_withVolume)));
    return QString::fromStdString(m_package->cellText(row, col));
}

bool PackageTableSource::cellChecked(int row, int col) const {
    return m_package && col != m_verdictColumn && m_package->cellChecked(row, col);
}

QColor PackageTableSource::cellTextColor(int row, int col) const {
    const QColor black = TGoodTableSource::cellTextColor(row, col);
    if (!m_package || m_verdictColumn < 0 || !m_limits.isSet()) return black;
    const int field = col == m_verdictColumn ? -1 : m_package->columnField(col);
    if (col != m_verdictColumn && field != kFlowErr && field != kVolErr) return black;
    const EntryVerdict entry = CheckEntry(*m_package, row, m_limits, m_withVolume);
    const bool fails = col == m_verdictColumn ? entry.outcome == EntryOutcome::Fail
                       : field == kFlowErr    ? entry.errorFails
                                              : entry.dVFails;
    return fails ? kFailColor : black;
}

void PackageTableSource::setCellText(int row, int col, const QString& text) {
    if (!m_package || col == m_verdictColumn) return;
    try {
        m_package->setCellText(row, col, text.toStdString());
    } catch (const UserError&) {
        // Not a number: the entry keeps its value and the cell shows it.
    } catch (const std::exception& e) {
        if (m_onError) m_onError(e.what());
    }
}

void PackageTableSource::editStarted(int row, int col) {
    m_editStart = {};
    if (!m_package || col == m_verdictColumn) return;
    const int field = m_package->columnField(col);
    const std::optional<FieldValue> value = m_package->fieldValue(row, field);
    if (!value) return;
    m_editStart.value = *value;
    m_editStart.package = m_package;
    m_editStart.row = row;
    m_editStart.field = field;
}

bool PackageTableSource::editFinished(int row, int col, const QString& text) {
    const EditStart start = m_editStart;
    m_editStart = {};
    if (!m_package || col == m_verdictColumn || start.package != m_package || start.row != row || row >= m_package->entryCount() ||
        start.field != m_package->columnField(col))
        return false;
    try {
        m_package->setCellText(row, col, text.toStdString());
        return false;
    } catch (const UserError&) {
        // Not wholly a number: back to the value from before the editing.
    } catch (const std::exception& e) {
        if (m_onError) m_onError(e.what());
    }
    m_package->setFieldValue(row, start.field, start.value);
    return true;
}

void PackageTableSource::setCellChecked(int row, int col, bool checked) {
    if (!m_package || col == m_verdictColumn) return;
    try {
        m_package->setCellChecked(row, col, checked);
    } catch (const std::exception& e) {
        if (m_onError) m_onError(e.what());
    }
}
