#pragma once

#include <QComboBox>

// A drop-down list that shows no selection while it is disabled and comes
// back to its item when enabled again. Only the control's own enabled state
// counts (SetEnabled or setEnabled on it), not a disabled parent.
class TDisComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TDisComboBox(QWidget* parent = nullptr);

    void SetEnabled(bool enabled) { setEnabled(enabled); }
    // When enabled selects i; when disabled only remembers it.
    void SetItemIndex(int index);
    // The selection when enabled, the remembered index when disabled.
    int GetItemIndex() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    void Apply(bool disabled);

    bool m_disabled = false;
    int m_remembered = -1;
};
