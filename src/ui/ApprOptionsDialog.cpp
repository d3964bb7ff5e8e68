#include "ApprOptionsDialog.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "components/Accessibility.h"
#include "components/FloatEdit.h"
#include "document/ApprOptions.h"

namespace {

QRadioButton* radio(const char* name, const QString& text, QWidget* group, QVBoxLayout* layout) {
    auto* button = new QRadioButton(text, group);
    button->setObjectName(QString::fromLatin1(name));
    layout->addWidget(button);
    return button;
}

TFloatEdit* floatEdit(const char* name, int digits, double min, double max, QWidget* parent) {
    auto* edit = new TFloatEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->SetDigits(digits);
    edit->SetMax(max);
    edit->SetMin(min);
    return edit;
}

}  // namespace

ApprOptionsDialog::ApprOptionsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Параметры аппроксимации"));
    setProperty("helpKeyword", QStringLiteral("approximation_params"));

    auto* function = new QGroupBox(QStringLiteral("Функция"), this);
    auto* functionLayout = new QVBoxLayout(function);
    m_piecewiseLinear = radio("rbPiecewiseLinear", QStringLiteral("Кусочно-линейная"), function, functionLayout);
    m_linear = radio("rbLinear", QStringLiteral("y = a*x+b"), function, functionLayout);
    m_proportional = radio("rbProportional", QStringLiteral("y = a*x"), function, functionLayout);

    auto* mode = new QGroupBox(QStringLiteral("Режим"), this);
    auto* modeLayout = new QVBoxLayout(mode);
    m_auto = radio("rbAuto", QStringLiteral("Автоматический"), mode, modeLayout);
    m_manual = radio("rbManual", QStringLiteral("Ручной"), mode, modeLayout);

    auto* source = new QGroupBox(QStringLiteral("Исходные данные"), this);
    auto* sourceLayout = new QVBoxLayout(source);
    m_sections = radio("rbSections", QStringLiteral("Средние значения в сечениях"), source, sourceLayout);
    m_entries = radio("rbEntries", QStringLiteral("Каждое измерение"), source, sourceLayout);

    // Percentages of scatter and error: a negative limit means nothing.
    m_sectionScatter = floatEdit("edSectionScatter", 3, 0.0, 100.0, this);
    m_maxAutoErr = floatEdit("edMaxAutoErr", 3, 0.0, 100.0, this);
    m_refTemp = floatEdit("edRefTemp", 2, -273.15, 1000.0, this);
    auto* edits = new QFormLayout;
    AddLabelledRow(edits, QStringLiteral("Разброс в сечении, %:"), m_sectionScatter);
    AddLabelledRow(edits, QStringLiteral("Погрешность в авт. режиме, %:"), m_maxAutoErr);
    AddLabelledRow(edits, QStringLiteral("Температура приведения, °C:"), m_refTemp);

    // The form's own initial state, before any options are shown.
    m_piecewiseLinear->setChecked(true);
    m_sections->setChecked(true);
    m_sectionScatter->SetValue(5.0);
    m_maxAutoErr->SetValue(1.0);
    m_refTemp->SetValue(20.0);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("bnOK"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
    cancel->setObjectName(QStringLiteral("bnCancel"));
    auto* defaults = new QPushButton(QStringLiteral("По умолчанию"), this);
    defaults->setObjectName(QStringLiteral("bnDefault"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(defaults, &QPushButton::clicked, this, &ApprOptionsDialog::resetToDefaults);

    for (QRadioButton* button : {m_piecewiseLinear, m_linear, m_proportional})
        connect(button, &QRadioButton::toggled, this, &ApprOptionsDialog::updateModeButtons);
    updateModeButtons();

    auto* groups = new QVBoxLayout;
    groups->addWidget(function);
    groups->addWidget(mode);
    groups->addWidget(source);
    auto* left = new QVBoxLayout;
    left->addLayout(groups);
    left->addLayout(edits);
    auto* right = new QVBoxLayout;
    right->addWidget(ok);
    right->addWidget(cancel);
    right->addWidget(defaults);
    right->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

bool ApprOptionsDialog::edit(ApprOptions& options) {
    attach(&options);
    const bool accepted = exec() == QDialog::Accepted;
    attach(nullptr);
    return accepted;
}

void ApprOptionsDialog::attach(ApprOptions* options) {
    m_options = options;
    if (m_options) load(*m_options);
}

void ApprOptionsDialog::load(const ApprOptions& options) {
    switch (static_cast<ApprFunction>(options.function)) {
    case ApprFunction::Linear: m_linear->setChecked(true); break;
    case ApprFunction::Proportional: m_proportional->setChecked(true); break;
    default: m_piecewiseLinear->setChecked(true); break;
    }
    (options.manual ? m_manual : m_auto)->setChecked(true);
    (options.byEntries ? m_entries : m_sections)->setChecked(true);
    m_refTemp->SetValue(options.refTemp);
    m_maxAutoErr->SetValue(options.maxAutoErr);
    m_sectionScatter->SetValue(options.sectionScatter);
    updateModeButtons();
}

void ApprOptionsDialog::store(ApprOptions& options) const {
    const ApprFunction function = m_piecewiseLinear->isChecked() ? ApprFunction::PiecewiseLinear
                                  : m_linear->isChecked()        ? ApprFunction::Linear
                                                                 : ApprFunction::Proportional;
    options.function = static_cast<std::uint8_t>(function);
    options.manual = m_auto->isChecked() ? 0 : 1;
    options.byEntries = m_entries->isChecked() ? 1 : 0;
    options.refTemp = m_refTemp->Value();
    options.maxAutoErr = m_maxAutoErr->Value();
    options.sectionScatter = m_sectionScatter->Value();
}

void ApprOptionsDialog::resetToDefaults() {
    if (!m_options) return;
    m_options->resetToDefaults();
    load(*m_options);
}

void ApprOptionsDialog::accept() {
    if (m_options) store(*m_options);
    QDialog::accept();
}

void ApprOptionsDialog::updateModeButtons() {
    const bool piecewise = m_piecewiseLinear->isChecked();
    m_auto->setEnabled(piecewise);
    m_manual->setEnabled(piecewise);
}
