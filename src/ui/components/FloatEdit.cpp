#include "FloatEdit.h"

#include "common/Locale.h"
#include "common/NumberText.h"

#include <algorithm>
#include <limits>
#include <string>

TFloatEdit::TFloatEdit(QWidget* parent)
    : TNumEdit(parent), m_min(std::numeric_limits<double>::lowest()), m_max(std::numeric_limits<double>::max()) {
    setMaxLength(kMaxLength);
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textEdited, this, &TFloatEdit::Change);
}

QString TFloatEdit::FormatValue(double value, int digits, bool significant) {
    const std::string text =
        significant ? formatGeneral(value, digits) : Locale::current().formatFixed(value, std::max(digits, 0));
    return QString::fromStdString(text);
}

double TFloatEdit::Clamp(double v) const { return std::clamp(v, m_min, m_max); }

void TFloatEdit::ChangeValue(double& value) {
    if (m_onChangeValue) m_onChangeValue(value);
}

void TFloatEdit::SetValueInvisible(double v) {
    v = Clamp(v);
    ChangeValue(v);
    v = Clamp(v);
    if (v == m_value) return;
    m_value = v;
    emit valueChanged(m_value);
}

void TFloatEdit::SetValue(double v) {
    SetValueInvisible(v);
    UpdateText();
}

void TFloatEdit::SetMin(double v) {
    m_min = v;
    m_max = std::max(m_min, m_max);
    SetValue(m_value);
}

void TFloatEdit::SetMax(double v) {
    m_max = v;
    m_min = std::min(m_min, m_max);
    SetValue(m_value);
}

void TFloatEdit::SetDigits(int digits) {
    m_digits = digits;
    if (!hasFocus()) UpdateText();
}

void TFloatEdit::SetSignificant(bool significant) {
    m_significant = significant;
    if (!hasFocus()) UpdateText();
}

void TFloatEdit::UpdateText() {
    // A disabled edit stays empty; enabling it writes the value again.
    if (!isEnabled()) return;
    setText(FormatValue(m_value, m_digits, m_significant));
}

void TFloatEdit::Change(const QString& text) {
    if (const auto value = parseUserNumber(text.toStdString())) SetValueInvisible(*value);
}

bool TFloatEdit::TakeText() {
    const std::optional<double> value = parseUserNumber(text().toStdString());
    if (!value) return false;
    SetValue(*value);
    return true;
}
