#pragma once

#include "NumEdit.h"

#include <functional>
#include <optional>

// An integer edit with limits. Typing updates Value (clamped) without
// touching the text; Enter or the focus leaving accepts the text (rewrites
// it clamped, or reports an unreadable text and restores Value); Escape
// returns to the value the edit had when it got the focus; the wheel steps
// by one. While disabled the edit is empty.
class TIntEdit : public TNumEdit {
    Q_OBJECT
public:
    static constexpr int kMaxLength = 10;

    // Writes the value as text / reads it from the text (nothing: unreadable).
    using SetTextHook = std::function<QString(int value)>;
    using GetTextHook = std::function<std::optional<int>(const QString& text)>;

    explicit TIntEdit(QWidget* parent = nullptr);

    int Value() const { return m_value; }
    void SetValue(int v);
    int Min() const { return m_min; }
    void SetMin(int v);
    int Max() const { return m_max; }
    void SetMax(int v);
    int SavedValue() const { return m_saved; }

    void SetOnSetText(SetTextHook hook) { m_onSetText = std::move(hook); }
    void SetOnGetText(GetTextHook hook) { m_onGetText = std::move(hook); }

    void AcceptText();

signals:
    void valueChanged(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::optional<int> ReadText() const;
    void WriteText();
    void Change(const QString& text);
    void StoreValue(int v);

    int m_value = 0;
    int m_min = 0;
    int m_max = 0;
    int m_saved = 0;
    bool m_accepting = false;
    SetTextHook m_onSetText;
    GetTextHook m_onGetText;
};
