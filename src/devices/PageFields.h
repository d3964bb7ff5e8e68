#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/NumberText.h"

// Toolkit-free values of a device page. The page state owns its fields and
// hears about every change they make, so a view can repaint after
// `changeCount()` moved or after its callback ran.

// An integer edit with limits: values are clamped to Min … Max as they come in.
class IntField {
public:
    using ToText = std::function<std::string(int value)>;
    using FromText = std::function<std::optional<long long>(const std::string& text)>;

    IntField(int min, int max, int value);
    IntField(const IntField&) = delete;
    IntField& operator=(const IntField&) = delete;

    int value() const { return m_value; }
    int min() const { return m_min; }
    int max() const { return m_max; }

    void setValue(long long value);
    // Raising Min above Max raises Max with it, and lowering Max below Min
    // lowers Min; the value is clamped again.
    void setMin(int min);
    void setMax(int max);

    // The value as the edit shows it.
    std::string text() const;
    // Takes typed text (read by parseUserInteger unless the text form says
    // otherwise); false, with the value kept, when it is not wholly a number.
    bool setText(const std::string& text);

    // Replace the decimal text form (an edit that shows, say, half degrees as degrees).
    void setTextForm(ToText toText, FromText fromText);

private:
    friend class PageState;
    void changed();

    int m_min;
    int m_max;
    int m_value;
    ToText m_toText;
    FromText m_fromText;
    std::function<void()> m_notify;
};

// A decimal edit with limits. A value is clamped, handed to the adjust hook
// (which may change it, e.g. to a step the device can store) and clamped
// again. A value that is not a number becomes Min.
class FloatField {
public:
    using Adjust = std::function<double(double value)>;

    FloatField(double min, double max, double value, int digits);
    FloatField(const FloatField&) = delete;
    FloatField& operator=(const FloatField&) = delete;

    double value() const { return m_value; }
    double min() const { return m_min; }
    double max() const { return m_max; }
    int digits() const { return m_digits; }

    void setValue(double value);
    void setMin(double min);
    void setMax(double max);
    void setAdjust(Adjust adjust) { m_adjust = std::move(adjust); }

    // Fixed-point text with `digits()` decimals and the regional separator.
    std::string text() const;
    // Takes typed text (read by parseUserNumber: "," or "."); false, with the
    // value kept, when it is not wholly a number.
    bool setText(const std::string& text);

private:
    friend class PageState;
    double clamp(double value) const;
    void changed();

    double m_min;
    double m_max;
    double m_value;
    int m_digits;
    Adjust m_adjust;
    std::function<void()> m_notify;
};

// A drop-down list: its items and the selected position (-1 = none). The
// page state changes it, so that the change handlers run where they must.
class Selector {
public:
    explicit Selector(std::vector<std::string> items = {}) : m_items(std::move(items)) {}

    const std::vector<std::string>& items() const { return m_items; }
    int count() const { return static_cast<int>(m_items.size()); }
    int index() const { return m_index; }
    // The selected item's text, empty when nothing is selected.
    std::string text() const;

    // New items leave nothing selected, as a list does after its items are replaced.
    void setItems(std::vector<std::string> items);
    // A position outside the items selects nothing.
    void setIndex(int index);
    // The position clamped to the items (nothing selected only when there are none).
    void setIndexClamped(long long index);

private:
    std::vector<std::string> m_items;
    int m_index = -1;
};

// Base of the page states: a change counter and one "changed" callback.
class PageState {
public:
    using ChangedCallback = std::function<void()>;

    PageState() = default;
    PageState(const PageState&) = delete;
    PageState& operator=(const PageState&) = delete;
    virtual ~PageState() = default;

    void setChangedCallback(ChangedCallback callback) { m_callback = std::move(callback); }
    unsigned long changeCount() const { return m_changes; }

protected:
    void changed();
    void bind(IntField& field);
    void bind(FloatField& field);

private:
    unsigned long m_changes = 0;
    ChangedCallback m_callback;
};
