#include "NewPackageDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

NewPackageDialog::NewPackageDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Создать пакет"));
    setProperty("helpKeyword", QStringLiteral("packet_work"));

    auto* typeGroup = new QGroupBox(QStringLiteral("Тип пакета"), this);
    m_calibration = new QRadioButton(QStringLiteral("Градуировочный"), typeGroup);
    m_calibration->setObjectName(QStringLiteral("rbCalibrMode"));
    m_verification = new QRadioButton(QStringLiteral("Поверочный"), typeGroup);
    m_verification->setObjectName(QStringLiteral("rbCheckMode"));
    auto* typeLayout = new QVBoxLayout(typeGroup);
    typeLayout->addWidget(m_calibration);
    typeLayout->addWidget(m_verification);
    m_calibration->setChecked(true);

    auto* methodGroup = new QGroupBox(QStringLiteral("Метод"), this);
    m_volume = new QRadioButton(QStringLiteral("Объёмный"), methodGroup);
    m_volume->setObjectName(QStringLiteral("rbVolMethod"));
    m_mass = new QRadioButton(QStringLiteral("Массовый"), methodGroup);
    m_mass->setObjectName(QStringLiteral("rbMassMethod"));
    m_reference = new QRadioButton(QStringLiteral("Эталонный"), methodGroup);
    m_reference->setObjectName(QStringLiteral("rbGMethod"));
    auto* methodLayout = new QVBoxLayout(methodGroup);
    methodLayout->addWidget(m_volume);
    methodLayout->addWidget(m_mass);
    methodLayout->addWidget(m_reference);
    m_volume->setChecked(true);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("bnOK"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("bnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* groups = new QHBoxLayout;
    groups->addWidget(typeGroup);
    groups->addWidget(methodGroup);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

std::optional<NewPackageChoice> NewPackageDialog::choose() {
    if (exec() != QDialog::Accepted) return std::nullopt;
    return choice();
}

NewPackageChoice NewPackageDialog::choice() const {
    NewPackageChoice result;
    result.method = m_volume->isChecked() ? Method::Volume : m_mass->isChecked() ? Method::Mass : Method::Reference;
    result.type = m_verification->isChecked() ? PackageType::Verification : PackageType::Calibration;
    return result;
}

void NewPackageDialog::setChoice(const NewPackageChoice& choice) {
    (choice.type == PackageType::Verification ? m_verification : m_calibration)->setChecked(true);
    switch (choice.method) {
    case Method::Volume: m_volume->setChecked(true); break;
    case Method::Mass: m_mass->setChecked(true); break;
    default: m_reference->setChecked(true); break;
    }
}
