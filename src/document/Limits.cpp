#include "document/Limits.h"

#include <algorithm>
#include <cmath>

#include <nlohmann/json.hpp>

#include "common/MathError.h"
#include "link/RegKey.h"

namespace {

using nlohmann::json;

struct ClassCoefficients {
    double a;
    double b;
};

constexpr ClassCoefficients kClasses[] = {{1.0, 0.01}, {2.0, 0.02}, {3.0, 0.05}};

std::string zoneText(std::size_t index) { return "Зона " + std::to_string(index + 1) + ": "; }

double number(const json& object, const char* key, const std::string& what) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number())
        throw UserError(what + "нужно число \"" + key + "\"");
    const double value = it->get<double>();
    if (!std::isfinite(value)) throw UserError(what + "\"" + key + "\" не число");
    return value;
}

}  // namespace

Limits Limits::ofClass(int accuracyClass, double qp) {
    Limits limits;
    limits.form = Form::Class;
    limits.accuracyClass = accuracyClass;
    limits.qp = qp;
    return limits;
}

Limits Limits::ofZones(std::vector<LimitZone> zones) {
    Limits limits;
    limits.form = Form::Zones;
    limits.zones = std::move(zones);
    return limits;
}

std::optional<std::size_t> ZoneOf(const std::vector<LimitZone>& zones, double q) {
    std::optional<std::size_t> zone;
    if (std::isnan(q)) return zone;
    for (std::size_t i = 0; i < zones.size() && zones[i].from <= q; ++i) zone = i;
    return zone;
}

std::optional<double> PermissibleError(const Limits& limits, double q) {
    if (!std::isfinite(q) || q <= 0.0) return std::nullopt;
    switch (limits.form) {
        case Limits::Form::None: return std::nullopt;
        case Limits::Form::Class: {
            if (limits.accuracyClass < 1 || limits.accuracyClass > 3) return std::nullopt;
            const ClassCoefficients& c = kClasses[limits.accuracyClass - 1];
            return std::min(c.a + c.b * limits.qp / q, kClassCap);
        }
        case Limits::Form::Zones: {
            const auto zone = ZoneOf(limits.zones, q);
            if (!zone) return std::nullopt;
            return limits.zones[*zone].limit;
        }
    }
    return std::nullopt;
}

std::vector<EnvelopePoint> LimitEnvelope(const Limits& limits, double qMin, double qMax) {
    std::vector<EnvelopePoint> points;
    if (!(qMin > 0.0) || !(qMax > qMin) || !std::isfinite(qMax)) return points;
    // Each flat run [from, to) at δ: a corner at both of its ends.
    auto run = [&points](double from, double to, double limit) {
        if (!points.empty() && points.back().q == from && points.back().limit == limit) {
            points.back().q = to;
            return;
        }
        points.push_back({from, limit});
        points.push_back({to, limit});
    };
    if (limits.form == Limits::Form::Zones) {
        for (std::size_t i = 0; i < limits.zones.size(); ++i) {
            const double from = std::max(limits.zones[i].from, qMin);
            const double to = i + 1 < limits.zones.size() ? std::min(limits.zones[i + 1].from, qMax) : qMax;
            if (from < to) run(from, to, limits.zones[i].limit);
        }
    } else if (limits.form == Limits::Form::Class) {
        constexpr int kSteps = 48;
        const double ratio = std::pow(qMax / qMin, 1.0 / kSteps);
        double from = qMin;
        for (int i = 0; i < kSteps; ++i) {
            const double to = i + 1 == kSteps ? qMax : from * ratio;
            // The run takes the limit at its middle (geometric), so that the
            // steps straddle the curve.
            if (const auto limit = PermissibleError(limits, std::sqrt(from * to))) run(from, to, *limit);
            from = to;
        }
    }
    return points;
}

void ValidateLimits(const Limits& limits) {
    switch (limits.form) {
        case Limits::Form::None: return;
        case Limits::Form::Class:
            if (limits.accuracyClass < 1 || limits.accuracyClass > 3)
                throw UserError("Класс точности должен быть 1, 2 или 3");
            if (!(limits.qp > 0.0) || !std::isfinite(limits.qp))
                throw UserError("Постоянный расход qp должен быть больше 0");
            return;
        case Limits::Form::Zones:
            if (limits.zones.empty()) throw UserError("Таблица зон пуста");
            for (std::size_t i = 0; i < limits.zones.size(); ++i) {
                const LimitZone& zone = limits.zones[i];
                if (!std::isfinite(zone.from) || zone.from < 0.0)
                    throw UserError(zoneText(i) + "нижняя граница должна быть не меньше 0");
                if (i > 0 && !(zone.from > limits.zones[i - 1].from))
                    throw UserError(zoneText(i) + "границы зон должны возрастать");
                if (!std::isfinite(zone.limit) || !(zone.limit > 0.0))
                    throw UserError(zoneText(i) + "предел погрешности должен быть больше 0");
            }
            return;
    }
}

Limits ParseLimits(const std::string& text) {
    json root;
    try {
        root = json::parse(text);
    } catch (const json::parse_error&) {
        throw UserError("Пределы погрешности: текст не в формате JSON");
    }
    if (!root.is_object()) throw UserError("Пределы погрешности: нужен объект JSON");
    const bool hasClass = root.contains("class") || root.contains("qp");
    const bool hasZones = root.contains("zones");
    if (hasClass && hasZones)
        throw UserError("Пределы погрешности: задан и класс точности, и таблица зон; нужно одно из двух");
    if (!hasClass && !hasZones)
        throw UserError("Пределы погрешности: не задана форма (\"class\" и \"qp\" или \"zones\")");

    Limits limits;
    if (hasClass) {
        const double accuracyClass = number(root, "class", "Класс точности: ");
        if (accuracyClass != 1.0 && accuracyClass != 2.0 && accuracyClass != 3.0)
            throw UserError("Класс точности должен быть 1, 2 или 3");
        limits = Limits::ofClass(static_cast<int>(accuracyClass), number(root, "qp", "Класс точности: "));
    } else {
        const json& zones = root["zones"];
        if (!zones.is_array()) throw UserError("Пределы погрешности: \"zones\" должен быть списком");
        std::vector<LimitZone> list;
        for (std::size_t i = 0; i < zones.size(); ++i) {
            if (!zones[i].is_object()) throw UserError(zoneText(i) + "нужен объект с \"from\" и \"limit\"");
            list.push_back({number(zones[i], "from", zoneText(i)), number(zones[i], "limit", zoneText(i))});
        }
        limits = Limits::ofZones(std::move(list));
    }
    ValidateLimits(limits);
    return limits;
}

std::string LimitsJson(const Limits& limits) {
    json out = json::object();
    if (limits.form == Limits::Form::Class) {
        out["class"] = limits.accuracyClass;
        out["qp"] = limits.qp;
    } else if (limits.form == Limits::Form::Zones) {
        out["zones"] = json::array();
        for (const LimitZone& zone : limits.zones) out["zones"].push_back({{"from", zone.from}, {"limit", zone.limit}});
    }
    return out.dump();
}

std::string LimitsValueName(int typeCode) { return "Limits" + std::to_string(typeCode); }

Limits LoadLimits(int typeCode) {
    RegKey key;
    key.Open();
    const std::string text = key.ReadString(LimitsValueName(typeCode));
    if (text.empty()) return {};
    try {
        return ParseLimits(text);
    } catch (const UserError&) {
        // A value damaged outside the program: nothing is set until the
        // engineer chooses again.
        return {};
    }
}

void SaveLimits(int typeCode, const Limits& limits) {
    ValidateLimits(limits);
    RegKey key;
    key.Open();
    key.WriteString(LimitsValueName(typeCode), limits.isSet() ? LimitsJson(limits) : std::string());
}
