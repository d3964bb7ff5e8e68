#pragma once

#include "NumEdit.h"

#include <functional>
#include <optional>

// A decimal edit with limits. The text uses the user's decimal separator;
// typed text is read by parseUserNumber ("," and "." alike). Typing updates
// Value (clamped, then passed through OnChangeValue) without touching the
// text; accepting the text (Enter, the focus leaving) and Escape are
// TNumEdit's.
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

    // The text form of a value as the edit writes it.
    static QString FormatValue(double value, int digits, bool significant);

signals:
    void valueChanged(double value);

protected:
    virtual void ChangeValue(double& value);
    bool HasValue() const override { return true; }
    bool TakeText() override;
    void SaveValue() override { m_saved = m_value; }
    void RestoreSavedValue() override { SetValue(m_saved); }
    void WriteText() override { UpdateText(); }

private:
    void Change(const QString& text);
    double Clamp(double v) const;

    double m_value = 0;
    double m_min = 0;
    double m_max = 0;
    double m_saved = 0;
    int m_digits = 0;
    bool m_significant = false;
    ChangeValueHook m_onChangeValue;
};
