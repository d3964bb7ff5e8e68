#pragma once

#include "NumEdit.h"

#include <functional>
#include <optional>

// A decimal edit with limits. The text uses the user's decimal separator;
// typed text accepts "," and "." alike. Typing updates Value (clamped, then
// passed through OnChangeValue) without touching the text; Enter or the focus
// leaving accepts the text; Escape returns to the value the edit had when it
// got the focus. While disabled the edit is empty.
class TFloatEdit : public TNumEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 16;

    // Called with every new value; may change it.
    using ChangeValueHook = std::function<void(double& value)>;

    explicit TFloatEdit(QWidget* parent = nullptr);

    double Value() const { return m_value; }
    void SetValue(double v);
    // Sets Value without rewriting the text.
    void SetValueInvisible(double v);
    double Min() const { return m_min; }
    void SetMin(double v);
    double Max() const { return m_max; }
    void SetMax(double v);
    int Digits() const { return m_digits; }
    void SetDigits(int digits);
    bool Significant() const { return m_significant; }
    void SetSignificant(bool significant);
    double SavedValue() const { return m_saved; }

    void SetOnChangeValue(ChangeValueHook hook) { m_onChangeValue = std::move(hook); }

    // Rewrites the text from Value: Digits significant digits when
    // Significant is set, else Digits decimals.
    void UpdateText();
    void AcceptText();

    // The text form of a value as the edit writes it.
    static QString FormatValue(double value, int digits, bool significant);
    // Reads a typed number: the first "," (or, without one, the first ".")
    // stands for the decimal separator.
    static std::optional<double> ParseValue(const QString& text);

signals:
    void valueChanged(double value);

protected:
    virtual void ChangeValue(double& value);
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void Change(const QString& text);
    double Clamp(double v) const;

    double m_value = 0;
    double m_min = 0;
    double m_max = 0;
    double m_saved = 0;
    int m_digits = 0;
    bool m_significant = false;
    bool m_accepting = false;
    ChangeValueHook m_onChangeValue;
};
