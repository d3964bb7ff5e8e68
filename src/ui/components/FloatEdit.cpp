#include "FloatEdit.h"

#include "common/Locale.h"
#include "common/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

namespace {

// The general number form: `precision` significant digits, trailing zeros
// dropped; exponent form ("1.5E20", "2E-7") when the value is below 0.00001
// or has more integer digits than the precision.
std::string formatGeneral(double value, int precision, char separator) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    precision = std::clamp(precision, 1, 15);
    if (value == 0) return "0";

    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", precision - 1, std::fabs(value));
    const std::string sci = buf;
    const std::size_t ePos = sci.find('e');
    std::string digits;
    for (std::size_t i = 0; i < ePos; ++i)
        if (sci[i] != '.') digits += sci[i];
    const int exponent = std::atoi(sci.c_str() + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= precision) {
        out += digits[0];
        if (digits.size() > 1) {
            out += separator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent >= 0) {
        const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits);
            out += separator;
            out += digits.substr(intDigits);
        }
    } else {
        out += '0';
        out += separator;
        out += std::string(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}

}  // namespace

TFloatEdit::TFloatEdit(QWidget* parent)
    : TNumEdit(parent), m_min(std::numeric_limits<double>::lowest()), m_max(std::numeric_limits<double>::max()) {
    setMaxLength(kMaxLength);
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textEdited, this, &TFloatEdit::Change);
}

QString TFloatEdit::FormatValue(double value, int digits, bool significant) {
    const Locale& locale = Locale::current();
    const std::string text = significant ? formatGeneral(value, digits, locale.decimalSeparator)
                                         : locale.formatFixed(value, std::max(digits, 0));
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
