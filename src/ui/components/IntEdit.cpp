#include "IntEdit.h"

#include "common/NumberText.h"

#include <QWheelEvent>

#include <algorithm>
#include <limits>

TIntEdit::TIntEdit(QWidget* parent)
    : TNumEdit(parent), m_min(std::numeric_limits<int>::min()), m_max(std::numeric_limits<int>::max()) {
    setMaxLength(kMaxLength);
    setText(QStringLiteral("0"));
    connect(this, &QLineEdit::textEdited, this, &TIntEdit::Change);
}

void TIntEdit::StoreValue(int v) {
    if (v == m_value) return;
    m_value = v;
    emit valueChanged(m_value);
}

void TIntEdit::SetValue(int v) {
    StoreValue(std::clamp(v, m_min, m_max));
    WriteText();
}

void TIntEdit::SetMin(int v) {
    m_min = v;
    m_max = std::max(m_min, m_max);
    SetValue(m_value);
}

void TIntEdit::SetMax(int v) {
    m_max = v;
    m_min = std::min(m_min, m_max);
    SetValue(m_value);
}

std::optional<int> TIntEdit::ReadText() const {
    if (m_onGetText) return m_onGetText(text());
    return parseUserInt32(text().toStdString());
}

bool TIntEdit::TakeText() {
    const std::optional<int> value = ReadText();
    if (!value) return false;
    SetValue(*value);
    return true;
}

void TIntEdit::WriteText() {
    // A disabled edit stays empty; enabling it writes the value again.
    if (!isEnabled()) return;
    setText(m_onSetText ? m_onSetText(m_value) : QString::number(m_value));
}

void TIntEdit::Change(const QString&) {
    if (const auto value = ReadText()) StoreValue(std::clamp(*value, m_min, m_max));
}

void TIntEdit::wheelEvent(QWheelEvent* event) {
    // Like the keyboard, the wheel acts on the edit that has the focus.
    const int dy = event->angleDelta().y();
    if (!hasFocus() || isReadOnly() || dy == 0) {
        TNumEdit::wheelEvent(event);
        return;
    }
    const long long next = static_cast<long long>(m_value) + (dy < 0 ? -1 : 1);
    SetValue(static_cast<int>(std::clamp<long long>(next, m_min, m_max)));
    event->accept();
}
