#include "cli/configure_plan.h"

#include "lang/utf.h"

#include <array>
#include <cstdio>

namespace veldrin::cli {
namespace {

using rules::kCircular;
using rules::kLinear;

std::string slotName(int index) {
    return "slot " + std::to_string(index + 1);
}

std::string minuteText(const DateTime& t) {
    CalendarFields f;
    if (!t.fields(f)) {
        return "(no time)";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d", f.year, f.month, f.day, f.hour,
                  f.minute);
    return buffer;
}

class Planner {
public:
    Planner(const ConfigureRequest& request, const RecorderSettings& recorder, const DateTime& now)
        : request_(request), recorder_(recorder), now_(now) {
        plan_.edit = editFromSettings(recorder);
    }

    ConfigurePlan run() {
        applyChoices();
        applyInterval();
        applyDescription();
        applySlots();
        checkChangedSlots();
        checkCircularAgainstSlots();
        warnAboutSlotOrder();
        return plan_;
    }

private:
    bool recorderHasCircularMode() const {
        return rules::recorderHasCircularMode(recorder_.circularMode);
    }

    void applyChoices() {
        ConfigurationEdit& edit = plan_.edit;
        if (request_.unit) {
            edit.tempUnit = *request_.unit;
        }
        if (request_.dateOrder) {
            edit.dateOrder = *request_.dateOrder;
        }
        if (request_.circular) {
            if (recorderHasCircularMode()) {
                edit.circular = *request_.circular ? kCircular : kLinear;
            } else {
                plan_.errors.push_back("--circular: this recorder has no circular mode");
            }
        }
    }

    void applyInterval() {
        if (!request_.interval) {
            return;
        }
        const long minutes = *request_.interval;
        if (!rules::intervalFits(minutes)) {
            plan_.errors.push_back("--interval: " + std::to_string(minutes) +
                                   " minutes is outside 1 to 240");
            return;
        }
        plan_.edit.interval = static_cast<int32_t>(minutes);
    }

    void applyDescription() {
        if (!request_.description) {
            return;
        }
        std::u16string text = utf8ToUtf16(*request_.description);
        const auto limit = static_cast<std::size_t>(rules::kMaxDescriptionUnits);
        if (text.size() > limit) {
            plan_.errors.push_back("--description: " + std::to_string(text.size()) +
                                   " characters (UTF-16 units); at most 255 are kept");
            return;
        }
        plan_.edit.description = std::move(text);
    }

    void applySlots() {
        for (const SlotChange& change : request_.slots) {
            const int k = change.slot - 1;
            TimeSlot& slot = plan_.edit.slots[static_cast<std::size_t>(k)];
            changed_[static_cast<std::size_t>(k)] = true;
            slot.inUse = change.inUse ? 1 : 0;
            if (change.inUse) {
                slot.start = rules::toMinute(change.start);
                slot.end = rules::toMinute(change.end);
                switchedOn_ = true;
            }
        }
    }

    // The slots the command line set: a year the recorder can hold, no end before its start, and
    // no time in the past unless the recorder records circularly or has no circular mode.
    void checkChangedSlots() {
        for (int k = 0; k < kSlotCount; ++k) {
            const TimeSlot& slot = plan_.edit.slots[static_cast<std::size_t>(k)];
            if (!changed_[static_cast<std::size_t>(k)] || slot.inUse == 0) {
                continue;
            }
            const std::string name = slotName(k);
            for (const auto& [what, time] : {std::pair{"start", slot.start}, {"end", slot.end}}) {
                if (!rules::slotYearFits(time)) {
                    plan_.errors.push_back(name + " " + what + " " + minuteText(time) +
                                           ": the year must lie in 2000 to 2255");
                } else if (rules::pastTimesMatter(plan_.edit.circular) && time < now_) {
                    plan_.errors.push_back(name + " " + what + " " + minuteText(time) +
                                           " lies in the past");
                }
            }
            if (slot.end < slot.start) {
                plan_.errors.push_back(name + " end " + minuteText(slot.end) +
                                       " lies before its start " + minuteText(slot.start));
            }
        }
    }

    // Circular recording excludes time slots; only a change asked for here is refused, a recorder
    // that already holds both keeps them as the dialog would.
    void checkCircularAgainstSlots() {
        if (plan_.edit.circular != kCircular || !(switchedOn_ || request_.circular)) {
            return;
        }
        for (int k = 0; k < kSlotCount; ++k) {
            if (plan_.edit.slots[static_cast<std::size_t>(k)].inUse != 0) {
                plan_.errors.push_back("circular recording cannot be used with " + slotName(k) +
                                       " in use (use --circular off or --slot-off " +
                                       std::to_string(k + 1) + ")");
            }
        }
    }

    void warnAboutSlotOrder() {
        if (!anyChanged()) {
            return;
        }
        for (const auto& [later, earlier] : rules::slotsOutOfOrder(plan_.edit)) {
            plan_.warnings.push_back(slotName(later) + " starts before " + slotName(earlier) +
                                     " ends");
        }
    }

    bool anyChanged() const {
        for (bool changed : changed_) {
            if (changed) {
                return true;
            }
        }
        return false;
    }

    const ConfigureRequest& request_;
    const RecorderSettings& recorder_;
    DateTime now_;
    ConfigurePlan plan_;
    std::array<bool, kSlotCount> changed_{};
    bool switchedOn_ = false;
};

} // namespace

ConfigurePlan planConfiguration(const ConfigureRequest& request, const RecorderSettings& recorder,
                                const DateTime& now) {
    return Planner(request, recorder, now).run();
}

std::vector<std::string> checkConfigureRequest(const ConfigureRequest& request,
                                               const DateTime& now) {
    // A recorder that lets the command line alone decide: no slot in use, and either the
    // circular mode the line asks for or none at all (so that no slot time is judged against a
    // mode the real recorder may not have).
    RecorderSettings neutral;
    for (TimeSlot& slot : neutral.slots) {
        slot = TimeSlot{now, now, 0, 0, 0};
    }
    constexpr int32_t kNoCircularModeByte = 255;
    neutral.circularMode =
        request.circular ? (*request.circular ? kCircular : kLinear) : kNoCircularModeByte;
    return planConfiguration(request, neutral, now).errors;
}

std::vector<std::string> describeConfiguration(const ConfigurationEdit& edit) {
    std::vector<std::string> lines = {
        std::string("unit: ") + (edit.tempUnit == 0 ? "Celsius" : "Fahrenheit"),
        std::string("date order: ") + (edit.dateOrder == 0 ? "month-day" : "day-month"),
        std::string("recording: ") + (edit.circular == kCircular ? "circular"
                                      : edit.circular == kLinear ? "linear"
                                                                 : "no circular mode"),
        "interval: " + std::to_string(edit.interval) + " min",
        "description: \"" + utf16ToUtf8(edit.description) + "\"",
    };
    for (int k = 0; k < kSlotCount; ++k) {
        const TimeSlot& slot = edit.slots[static_cast<std::size_t>(k)];
        lines.push_back(slotName(k) + ": " +
                        (slot.inUse != 0 ? minuteText(slot.start) + " to " + minuteText(slot.end)
                                         : std::string("not in use")));
    }
    return lines;
}

} // namespace veldrin::cli
