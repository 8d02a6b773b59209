#include "core/number_text.h"

#include <charconv>
#include <cmath>

namespace veldrin {
namespace {

// Finer than any measured value needs, coarser than a double's noise at their magnitudes.
constexpr double kMeasuredSteps = 1e6;

} // namespace

std::string shortestNumberText(double value) {
    if (!std::isfinite(value)) {
        return {};
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string measuredNumberText(double value) {
    // Adding zero turns a negative zero (a rounded -0.0000001) into zero.
    return shortestNumberText(std::round(value * kMeasuredSteps) / kMeasuredSteps + 0.0);
}

} // namespace veldrin
