#include "DisComboBox.h"

#include <QEvent>

TDisComboBox::TDisComboBox(QWidget* parent) : QComboBox(parent) {
    // Adding the first item selects it; a disabled list must stay blank.
    connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (m_disabled && index != -1) setCurrentIndex(-1);
    });
}

void TDisComboBox::SetItemIndex(int index) {
    if (m_disabled)
        m_remembered = index;
    else
        setCurrentIndex(index);
}

int TDisComboBox::GetItemIndex() const { return m_disabled ? m_remembered : currentIndex(); }

void TDisComboBox::changeEvent(QEvent* event) {
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        // A disabled parent disables the list too; only its own state counts.
        const bool disabled = testAttribute(Qt::WA_ForceDisabled);
        if (disabled != m_disabled) Apply(disabled);
    }
}

void TDisComboBox::Apply(bool disabled) {
    QPalette pal = palette();
    if (disabled) {
        m_remembered = currentIndex();
        m_disabled = true;
        setCurrentIndex(-1);
        const QColor face = pal.color(QPalette::Active, QPalette::Button);
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) pal.setColor(group, QPalette::Base, face);
    } else {
        m_disabled = false;
        for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
            pal.setColor(group, QPalette::Base, QPalette().color(QPalette::Active, QPalette::Base));
        setCurrentIndex(m_remembered);
    }
    setPalette(pal);
}
