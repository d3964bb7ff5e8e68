#pragma once

#include "NumEdit.h"

#include <functional>
#include <optional>

// An integer edit with limits. Typing updates Value (clamped) without
// touching the text; accepting the text (Enter, the focus leaving) and
// Escape are TNumEdit's; the wheel steps by one.
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

signals:
    void valueChanged(int value);

protected:
    bool HasValue() const override { return true; }
    bool TakeText() override;
    void SaveValue() override { m_saved = m_value; }
    void RestoreSavedValue() override { SetValue(m_saved); }
    void WriteText() override;
    void wheelEvent(QWheelEvent* event) override;

private:
    std::optional<int> ReadText() const;
    void Change(const QString& text);
    void StoreValue(int v);

    int m_value = 0;
    int m_min = 0;
    int m_max = 0;
    int m_saved = 0;
    SetTextHook m_onSetText;
    GetTextHook m_onGetText;
};
