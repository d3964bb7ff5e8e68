#include "LimitsDialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "HelpWindow.h"
#include "common/MathError.h"
#include "components/Accessibility.h"
#include "components/FloatEdit.h"

namespace {

const QString kTitle = QStringLiteral("Пределы погрешности");

// Flows and percentages as the engineer typed them: six significant digits,
// no limits of the edit's own (a bound below 0 is refused with its reason,
// not quietly raised to 0).
TFloatEdit* numberEdit(const QString& name, QWidget* parent) {
    auto* edit = new TFloatEdit(parent);
    edit->setObjectName(name);
    edit->SetSignificant(true);
    edit->SetDigits(6);
    edit->SetValue(0.0);
    return edit;
}

QPushButton* button(const char* name, const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

}  // namespace

LimitsDialog::LimitsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(kTitle);
    setProperty(kHelpKeywordProperty, QStringLiteral("error_limits"));
    m_message = [](QWidget* owner, const QString& text) {
        QMessageBox box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, owner);
        box.exec();
    };

    m_model = new QLabel(this);
    m_model->setObjectName(QStringLiteral("lbModel"));

    auto* ok = button("bnOK", QStringLiteral("OK"), this);
    ok->setDefault(true);
    auto* cancel = button("bnCancel", QStringLiteral("Отмена"), this);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_model);
    layout->addWidget(buildFormBox());
    layout->addWidget(buildClassBox());
    layout->addWidget(buildZonesBox());
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    load(Limits{});
}

QGroupBox* LimitsDialog::buildFormBox() {
    auto* box = new QGroupBox(QStringLiteral("Форма пределов"), this);
    auto* layout = new QHBoxLayout(box);
    const auto radio = [&](const char* name, const QString& text) {
        auto* r = new QRadioButton(text, box);
        r->setObjectName(QString::fromLatin1(name));
        layout->addWidget(r);
        connect(r, &QRadioButton::toggled, this, &LimitsDialog::updateEnabled);
        return r;
    };
    m_none = radio("rbNoLimits", QStringLiteral("Не заданы"));
    m_class = radio("rbClass", QStringLiteral("Класс точности"));
    m_zonesForm = radio("rbZones", QStringLiteral("Зоны расхода"));
    return box;
}

QGroupBox* LimitsDialog::buildClassBox() {
    m_classBox = new QGroupBox(QStringLiteral("Класс точности: δ = a + b·qp/q, не более 5 %"), this);
    m_classNumber = new QComboBox(m_classBox);
    m_classNumber->setObjectName(QStringLiteral("cbClass"));
    m_classNumber->addItems({QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
    m_qp = numberEdit(QStringLiteral("edQp"), m_classBox);
    auto* form = new QFormLayout(m_classBox);
    AddLabelledRow(form, QStringLiteral("Класс:"), m_classNumber);
    AddLabelledRow(form, QStringLiteral("qp, м³/ч:"), m_qp);
    return m_classBox;
}

QGroupBox* LimitsDialog::buildZonesBox() {
    m_zonesBox = new QGroupBox(QStringLiteral("Зоны расхода (границы по возрастанию)"), this);
    auto* layout = new QVBoxLayout(m_zonesBox);
    m_zoneGrid = new QGridLayout;
    m_zoneGrid->addWidget(new QLabel(QStringLiteral("Зона"), m_zonesBox), 0, 0);
    m_fromCaption = new QLabel(QStringLiteral("Нижняя граница, м³/ч"), m_zonesBox);
    m_limitCaption = new QLabel(QStringLiteral("Предел ± δ, %"), m_zonesBox);
    m_zoneGrid->addWidget(m_fromCaption, 0, 1);
    m_zoneGrid->addWidget(m_limitCaption, 0, 2);
    layout->addLayout(m_zoneGrid);

    m_addZone = button("bnAddZone", QStringLiteral("Добавить зону"), m_zonesBox);
    m_removeZone = button("bnRemoveZone", QStringLiteral("Удалить зону"), m_zonesBox);
    connect(m_addZone, &QPushButton::clicked, this, &LimitsDialog::addZone);
    connect(m_removeZone, &QPushButton::clicked, this, &LimitsDialog::removeZone);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_addZone);
    buttons->addWidget(m_removeZone);
    buttons->addStretch();
    layout->addLayout(buttons);
    return m_zonesBox;
}

bool LimitsDialog::edit(const QString& model, Limits& limits) {
    setModel(model);
    load(limits);
    if (exec() != QDialog::Accepted) return false;
    limits = m_accepted;
    return true;
}

void LimitsDialog::setModel(const QString& model) { m_model->setText(QStringLiteral("Модель: ") + model); }

void LimitsDialog::load(const Limits& limits) {
    switch (limits.form) {
        case Limits::Form::None: m_none->setChecked(true); break;
        case Limits::Form::Class: m_class->setChecked(true); break;
        case Limits::Form::Zones: m_zonesForm->setChecked(true); break;
    }
    const bool hasClass = limits.form == Limits::Form::Class;
    m_classNumber->setCurrentIndex(hasClass && limits.accuracyClass >= 1 && limits.accuracyClass <= 3
                                       ? limits.accuracyClass - 1
                                       : 1);
    m_qp->SetValue(hasClass ? limits.qp : 0.0);
    const std::vector<LimitZone> zones =
        limits.form == Limits::Form::Zones && !limits.zones.empty() ? limits.zones : std::vector<LimitZone>{{}};
    setZoneCount(std::min(static_cast<int>(zones.size()), kMaxZones));
    for (int i = 0; i < zoneCount(); ++i) {
        zoneFrom(i)->SetValue(zones[static_cast<std::size_t>(i)].from);
        zoneLimit(i)->SetValue(zones[static_cast<std::size_t>(i)].limit);
    }
    updateEnabled();
}

Limits LimitsDialog::current() const {
    if (m_class->isChecked()) return Limits::ofClass(m_classNumber->currentIndex() + 1, m_qp->Value());
    if (!m_zonesForm->isChecked()) return {};
    std::vector<LimitZone> zones;
    for (const ZoneRow& row : m_zones) zones.push_back({row.from->Value(), row.limit->Value()});
    return Limits::ofZones(std::move(zones));
}

void LimitsDialog::addZone() {
    if (zoneCount() < kMaxZones) setZoneCount(zoneCount() + 1);
    updateEnabled();
}

void LimitsDialog::removeZone() {
    if (zoneCount() > 1) setZoneCount(zoneCount() - 1);
    updateEnabled();
}

void LimitsDialog::setZoneCount(int count) {
    while (zoneCount() > count) {
        const ZoneRow row = m_zones.back();
        m_zones.pop_back();
        delete row.number;
        delete row.from;
        delete row.limit;
    }
    while (zoneCount() < count) {
        const int n = zoneCount() + 1;
        ZoneRow row;
        row.number = new QLabel(QString::number(n), m_zonesBox);
        row.from = numberEdit(QStringLiteral("edZoneFrom%1").arg(n), m_zonesBox);
        row.limit = numberEdit(QStringLiteral("edZoneLimit%1").arg(n), m_zonesBox);
        // The column captions name the edits; the row says which zone.
        InstallAccessibility();
        row.from->setAccessibleName(AccessibleCaption(m_fromCaption->text()));
        row.limit->setAccessibleName(AccessibleCaption(m_limitCaption->text()));
        row.from->setAccessibleDescription(QStringLiteral("Зона %1").arg(n));
        row.limit->setAccessibleDescription(QStringLiteral("Зона %1").arg(n));
        m_zoneGrid->addWidget(row.number, n, 0, Qt::AlignCenter);
        m_zoneGrid->addWidget(row.from, n, 1);
        m_zoneGrid->addWidget(row.limit, n, 2);
        m_zones.push_back(row);
    }
    // Tab goes down the table row by row, then to the buttons.
    QWidget* previous = m_qp;
    for (const ZoneRow& row : m_zones) {
        setTabOrder(previous, row.from);
        setTabOrder(row.from, row.limit);
        previous = row.limit;
    }
    setTabOrder(previous, m_addZone);
}

void LimitsDialog::updateEnabled() {
    m_classBox->setEnabled(m_class->isChecked());
    m_zonesBox->setEnabled(m_zonesForm->isChecked());
    m_addZone->setEnabled(zoneCount() < kMaxZones);
    m_removeZone->setEnabled(zoneCount() > 1);
}

void LimitsDialog::accept() {
    // OK by Enter leaves the text of the edit being typed in unread.
    if (auto* edit = qobject_cast<TNumEdit*>(focusWidget()); edit && !edit->AcceptText()) return;
    const Limits limits = current();
    try {
        ValidateLimits(limits);
    } catch (const UserError& e) {
        if (m_message) m_message(this, QString::fromUtf8(e.what()));
        return;
    }
    m_accepted = limits;
    QDialog::accept();
}
