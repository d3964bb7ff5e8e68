#pragma once

#include <optional>
#include <string>
#include <vector>

// Limits of permissible error of a transducer model, in one of two forms:
//  - an accuracy class of heat-meter flow sensors: δ(q) = a + b·qp/q, at most
//    5 %, with (a, b) = (1, 0.01), (2, 0.02) or (3, 0.05) for class 1, 2, 3
//    and qp the permanent flow in m³/h;
//  - a table of flow zones: each a lower flow bound (m³/h) and a limit ± δ %,
//    bounds increasing; a flow takes the last zone whose bound is at or
//    below it.
// Nothing is assumed: a model whose engineer chose no form has none.
struct LimitZone {
    double from = 0.0;   // lower flow bound, m³/h
    double limit = 0.0;  // ± δ, %
    bool operator==(const LimitZone&) const = default;
};

struct Limits {
    enum class Form { None, Class, Zones };
    Form form = Form::None;
    int accuracyClass = 0;  // 1, 2 or 3 for Form::Class
    double qp = 0.0;        // m³/h, for Form::Class
    std::vector<LimitZone> zones;  // for Form::Zones

    bool isSet() const { return form != Form::None; }
    bool operator==(const Limits&) const = default;

    static Limits ofClass(int accuracyClass, double qp);
    static Limits ofZones(std::vector<LimitZone> zones);
};

// The cap of the class formula at small flows, %.
inline constexpr double kClassCap = 5.0;

// The permissible error at a reference flow q (m³/h), %; nothing when the
// limits are not set, q is not a positive number, or (zones) q lies below
// the first bound.
std::optional<double> PermissibleError(const Limits& limits, double q);
// The zone a flow falls in: the last whose bound is at or below q; nothing
// below the first bound or for a q that is not a number.
std::optional<std::size_t> ZoneOf(const std::vector<LimitZone>& zones, double q);

// The limit envelope over the flows qMin … qMax (0 < qMin < qMax) as the
// corners of a step line (q, δ), for a graph to draw at ±δ: each zone a flat
// run with vertical steps at the bounds, the class formula sampled in steps
// evenly spaced on a logarithmic flow axis. Empty when nothing is set or no
// limit applies in the range.
struct EnvelopePoint {
    double q;
    double limit;
};
std::vector<EnvelopePoint> LimitEnvelope(const Limits& limits, double qMin, double qMax);

// Throws UserError with the reason when the limits cannot be used: a class
// other than 1, 2, 3, qp not above 0, no zones, a bound below 0 or not above
// the one before it, a limit not above 0. Form::None passes (nothing set).
void ValidateLimits(const Limits& limits);

// The JSON text of the limits file and of the stored value:
// {"class": 2, "qp": 10} or {"zones": [{"from": q, "limit": δ}, ...]}.
// Parsing refuses (UserError) a text that is not such an object, one with
// both forms or neither, and whatever ValidateLimits refuses.
Limits ParseLimits(const std::string& text);
// {} for Form::None.
std::string LimitsJson(const Limits& limits);

// The limits kept for a device type code in the settings store (value
// "Limits" followed by the code in decimal). A missing or damaged value is
// no limits.
std::string LimitsValueName(int typeCode);
Limits LoadLimits(int typeCode);
// Validates, then stores; Form::None removes the choice (an empty value).
void SaveLimits(int typeCode, const Limits& limits);
