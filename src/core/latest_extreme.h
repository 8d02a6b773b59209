#pragma once
// Which record an extreme names: of the records holding the highest (or lowest) value, the latest
// in list order. The chart's summary boxes, the list's remarks (and so the stored CSV files and
// their readers), the statistics and everything written from them name the same record.

#include <cstddef>
#include <limits>

namespace veldrin {

enum class ExtremeKind { highest, lowest };

// Whether a record holding `value`, coming after the one holding `held`, becomes the extreme:
// an equal value does.
template <ExtremeKind Kind, class T> constexpr bool takesExtreme(T value, T held) {
    if constexpr (Kind == ExtremeKind::highest) {
        return value >= held;
    } else {
        return value <= held;
    }
}

// The extreme of the values offered in list order and the record holding it.
template <ExtremeKind Kind, class T> struct LatestExtreme {
    static constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();
    static constexpr T start() {
        if constexpr (Kind == ExtremeKind::highest) {
            return std::numeric_limits<T>::lowest();
        } else {
            return std::numeric_limits<T>::max();
        }
    }

    T value = start();
    std::size_t record = kNone; // none offered yet

    // Without a branch: ties are common (a humidity at its maximum) and come unforeseen.
    void offer(T v, std::size_t index) {
        const bool takes = takesExtreme<Kind>(v, value);
        value = takes ? v : value;
        record = takes ? index : record;
    }
    bool any() const { return record != kNone; }
};

template <class T> using Highest = LatestExtreme<ExtremeKind::highest, T>;
template <class T> using Lowest = LatestExtreme<ExtremeKind::lowest, T>;

} // namespace veldrin
