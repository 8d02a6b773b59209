#include "core/alarm_limits.h"

namespace veldrin {
namespace {

constexpr std::array<std::string_view, 4> kLimitNames{"temp-high", "temp-low", "hum-high",
                                                      "hum-low"};

} // namespace

std::string_view limitName(LimitKind kind) {
    return kLimitNames[static_cast<std::size_t>(kind)];
}

std::optional<LimitKind> limitFromName(std::string_view name) {
    for (const LimitKind kind : kLimitKinds) {
        if (limitName(kind) == name) {
            return kind;
        }
    }
    return std::nullopt;
}

std::optional<double>& AlarmLimits::operator[](LimitKind kind) {
    switch (kind) {
    case LimitKind::tempHigh:
        return tempHigh;
    case LimitKind::tempLow:
        return tempLow;
    case LimitKind::humHigh:
        return humHigh;
    case LimitKind::humLow:
        break;
    }
    return humLow;
}

const std::optional<double>& AlarmLimits::operator[](LimitKind kind) const {
    return const_cast<AlarmLimits&>(*this)[kind];
}

} // namespace veldrin
