#include "IntEdit.h"

#include "common/Locale.h"

#include <QFocusEvent>
#include <QKeyEvent>
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
    const auto value = Locale::parseInteger(text().toStdString());
    if (!value || *value < std::numeric_limits<int>::min() || *value > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*value);
}

void TIntEdit::WriteText() {
    // A disabled edit stays empty; enabling it writes the value again.
    if (!isEnabled()) return;
    setText(m_onSetText ? m_onSetText(m_value) : QString::number(m_value));
}

void TIntEdit::Change(const QString&) {
    if (const auto value = ReadText()) StoreValue(std::clamp(*value, m_min, m_max));
}

void TIntEdit::AcceptText() {
    // The message box takes the focus away from the edit; that is no second accept.
    if (m_accepting) return;
    if (const auto value = ReadText()) {
        SetValue(*value);
    } else {
        m_accepting = true;
        numedit::showMessage(this, numedit::badValueText(text()));
        setFocus(Qt::OtherFocusReason);
        WriteText();
        m_accepting = false;
    }
    m_saved = m_value;
}

void TIntEdit::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        AcceptText();
        break;
    case Qt::Key_Escape:
        SetValue(m_saved);
        break;
    default:
        break;
    }
    TNumEdit::keyPressEvent(event);
}

void TIntEdit::focusInEvent(QFocusEvent* event) {
    m_saved = m_value;
    TNumEdit::focusInEvent(event);
}

void TIntEdit::focusOutEvent(QFocusEvent* event) {
    TNumEdit::focusOutEvent(event);
    if (numedit::leavesForAnotherControl(event) && isEnabled()) AcceptText();
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

void TIntEdit::changeEvent(QEvent* event) {
    TNumEdit::changeEvent(event);
    if (event->type() != QEvent::EnabledChange) return;
    numedit::paintBase(this, isEnabled());
    if (isEnabled())
        WriteText();
    else
        setText(QString());
}
