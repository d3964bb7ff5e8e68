#include "devices/PageFields.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/Locale.h"

// ---- IntField ----

IntField::IntField(int min, int max, int value) : m_min(min), m_max(std::max(min, max)), m_value(min) {
    m_value = static_cast<int>(std::clamp<long long>(value, m_min, m_max));
}

void IntField::changed() {
    if (m_notify) m_notify();
}

void IntField::setValue(long long value) {
    const int v = static_cast<int>(std::clamp<long long>(value, m_min, m_max));
    if (v == m_value) return;
    m_value = v;
    changed();
}

void IntField::setMin(int min) {
    m_min = min;
    m_max = std::max(m_min, m_max);
    m_value = std::clamp(m_value, m_min, m_max);
    changed();
}

void IntField::setMax(int max) {
    m_max = max;
    m_min = std::min(m_min, m_max);
    m_value = std::clamp(m_value, m_min, m_max);
    changed();
}

std::string IntField::text() const {
    if (m_toText) return m_toText(m_value);
    return std::to_string(m_value);
}

bool IntField::setText(const std::string& text) {
    const std::optional<long long> v = m_fromText ? m_fromText(text) : parseUserInteger(text);
    if (!v) return false;
    setValue(*v);
    return true;
}

void IntField::setTextForm(ToText toText, FromText fromText) {
    m_toText = std::move(toText);
    m_fromText = std::move(fromText);
}

// ---- FloatField ----

FloatField::FloatField(double min, double max, double value, int digits)
    : m_min(min), m_max(std::max(min, max)), m_value(min), m_digits(digits) {
    m_value = clamp(value);
}

double FloatField::clamp(double value) const {
    if (std::isnan(value)) return m_min;
    return std::clamp(value, m_min, m_max);
}

void FloatField::changed() {
    if (m_notify) m_notify();
}

void FloatField::setValue(double value) {
    double v = clamp(value);
    if (m_adjust) v = clamp(m_adjust(v));
    if (v == m_value) return;
    m_value = v;
    changed();
}

void FloatField::setMin(double min) {
    m_min = min;
    m_max = std::max(m_min, m_max);
    m_value = clamp(m_value);
    changed();
}

void FloatField::setMax(double max) {
    m_max = max;
    m_min = std::min(m_min, m_max);
    m_value = clamp(m_value);
    changed();
}

std::string FloatField::text() const { return Locale::current().formatFixed(m_value, m_digits); }

bool FloatField::setText(const std::string& text) {
    const std::optional<double> v = parseUserNumber(text);
    if (!v) return false;
    setValue(*v);
    return true;
}

// ---- Selector ----

std::string Selector::text() const {
    if (m_index < 0 || m_index >= count()) return {};
    return m_items[static_cast<std::size_t>(m_index)];
}

void Selector::setItems(std::vector<std::string> items) {
    m_items = std::move(items);
    m_index = -1;
}

void Selector::setIndex(int index) { m_index = (index >= 0 && index < count()) ? index : -1; }

void Selector::setIndexClamped(long long index) {
    if (m_items.empty()) {
        m_index = -1;
        return;
    }
    m_index = static_cast<int>(std::clamp<long long>(index, 0, count() - 1));
}

// ---- PageState ----

void PageState::changed() {
    ++m_changes;
    if (m_callback) m_callback();
}

void PageState::bind(IntField& field) {
    field.m_notify = [this] { changed(); };
}

void PageState::bind(FloatField& field) {
    field.m_notify = [this] { changed(); };
}
