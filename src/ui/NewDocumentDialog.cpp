#include "NewDocumentDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "document/DeviceTree.h"

namespace {

constexpr int kCodeRole = Qt::UserRole;

}  // namespace

NewDocumentDialog::NewDocumentDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Создать новый документ"));
    setSizeGripEnabled(true);
    resize(360, 420);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("DeviceTree"));
    m_tree->setAccessibleName(QStringLiteral("Тип прибора"));
    m_tree->setHeaderHidden(true);
    m_tree->setColumnCount(1);
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    // Double click chooses a device; on a group row it only opens or closes it.
    m_tree->setExpandsOnDoubleClick(true);

    QTreeWidgetItem* group = nullptr;
    for (const DeviceTreeRow& row : DeviceTreeRows()) {
        QTreeWidgetItem* item = nullptr;
        if (row.underGroup && group) {
            item = new QTreeWidgetItem(group);
        } else {
            item = new QTreeWidgetItem(m_tree);
            group = row.isGroup() ? item : nullptr;
        }
        item->setText(0, QString::fromUtf8(row.text));
        item->setData(0, kCodeRole, row.code);
    }
    m_tree->collapseAll();

    m_buttons = new QDialogButtonBox(this);
    QPushButton* ok = m_buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setDefault(true);
    m_buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tree);
    layout->addWidget(m_buttons);

    connect(m_tree, &QTreeWidget::itemSelectionChanged, this, &NewDocumentDialog::selectionChanged);
    connect(m_tree, &QTreeWidget::itemDoubleClicked, this, &NewDocumentDialog::itemDoubleClicked);
}

std::optional<int> NewDocumentDialog::choose() {
    if (exec() != QDialog::Accepted) return std::nullopt;
    return m_code;
}

QPushButton* NewDocumentDialog::okButton() const {
    const auto buttons = m_buttons->buttons();
    for (QAbstractButton* button : buttons) {
        if (m_buttons->buttonRole(button) == QDialogButtonBox::AcceptRole) return static_cast<QPushButton*>(button);
    }
    return nullptr;
}

bool NewDocumentDialog::okEnabled() const { return okButton()->isEnabled(); }

void NewDocumentDialog::selectionChanged() {
    const auto selected = m_tree->selectedItems();
    m_code = selected.isEmpty() ? -1 : selected.front()->data(0, kCodeRole).toInt();
    okButton()->setEnabled(m_code >= 0);
}

void NewDocumentDialog::itemDoubleClicked(QTreeWidgetItem* /*item*/) {
    if (m_code >= 0) accept();
}

QTreeWidgetItem* NewDocumentDialog::findItem(const std::function<bool(QTreeWidgetItem*)>& match) const {
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it) {
        if (match(*it)) return *it;
    }
    return nullptr;
}

bool NewDocumentDialog::selectCode(int code) {
    if (code < 0) return false;
    QTreeWidgetItem* item = findItem([code](QTreeWidgetItem* i) { return i->data(0, kCodeRole).toInt() == code; });
    if (!item) return false;
    if (item->parent()) item->parent()->setExpanded(true);
    m_tree->setCurrentItem(item);
    return true;
}

bool NewDocumentDialog::selectText(const QString& text) {
    QTreeWidgetItem* item = findItem([&text](QTreeWidgetItem* i) { return i->text(0) == text; });
    if (!item) return false;
    if (item->parent()) item->parent()->setExpanded(true);
    m_tree->setCurrentItem(item);
    return true;
}
