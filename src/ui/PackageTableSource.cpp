#include "PackageTableSource.h"

#include <exception>

#include "common/MathError.h"
#include "document/PackageBase.h"

QString PackageTableSource::cellText(int row, int col) const {
    if (!m_package) return {};
    return QString::fromStdString(m_package->cellText(row, col));
}

bool PackageTableSource::cellChecked(int row, int col) const {
    return m_package && m_package->cellChecked(row, col);
}

void PackageTableSource::setCellText(int row, int col, const QString& text) {
    if (!m_package) return;
    try {
        m_package->setCellText(row, col, text.toStdString());
    } catch (const UserError&) {
        // Not a number: the entry keeps its value and the cell shows it.
    } catch (const std::exception& e) {
        if (m_onError) m_onError(e.what());
    }
}

void PackageTableSource::setCellChecked(int row, int col, bool checked) {
    if (!m_package) return;
    try {
        m_package->setCellChecked(row, col, checked);
    } catch (const std::exception& e) {
        if (m_onError) m_onError(e.what());
    }
}
