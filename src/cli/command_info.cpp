// info: the attached recorder's header, decoded, without writing anything anywhere.

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/recorder_choice.h"
#include "store/registry.h"

#include <algorithm>
#include <cstdio>

namespace veldrin::cli {
namespace {

bool waitForPresence(LoggerLink& link, int waitSeconds, Clock& clock) {
    const int64_t deadline = clock.steadyMs() + int64_t{waitSeconds} * 1000;
    for (;;) {
        if (link.CheckPresence() == 1) {
            return true;
        }
        const int64_t left = deadline - clock.steadyMs();
        if (left <= 0) {
            return false;
        }
        clock.sleepMs(std::min<int64_t>(left, 1000));
    }
}

std::string identityText(const RecorderIdentity& id) {
    return std::to_string(id.product) + "," + std::to_string(id.high) + "," +
           std::to_string(id.low);
}

// The number main.ini gives this identity; -1 when it has none.
int32_t registeredNumber(const Folders& folders, const RecorderIdentity& id) {
    const IniSnapshot ini = IniSnapshot::load(mainIniPath(folders));
    const int32_t maxId = veldrin::registeredCount(ini).count;
    for (int32_t n = 0; n < maxId; ++n) {
        RecorderIdentity entry;
        if (registeredIdentity(ini, n, entry) && entry == id) {
            return n;
        }
    }
    return -1;
}

std::string circularText(int32_t mode) {
    switch (mode) {
    case 0:
        return "linear";
    case 1:
        return "circular";
    default:
        return "none (the recorder has no circular mode; byte " + std::to_string(mode) + ")";
    }
}

std::string minuteText(const DateTime& t) {
    const std::string full = timeText(t);
    return full.size() > 16 ? full.substr(0, 16) : full;
}

std::string slotText(const TimeSlot& slot) {
    const std::string blocks = ", first block " + std::to_string(slot.firstBlock) +
                               ", last block " + std::to_string(slot.lastBlock);
    if (slot.inUse == 0) {
        return "not in use" + blocks;
    }
    return minuteText(slot.start) + " to " + minuteText(slot.end) + blocks;
}

void printHeader(const HeaderImage& header, const Folders& folders, Clock& clock) {
    RecorderSettings s;
    decodeSettings(header, -1, clock.nowLocal(), s);
    const RecorderIdentity id = identityFromHeader(header);
    const int32_t number = id.isValid() ? registeredNumber(folders, id) : -1;
    char version[16];
    std::snprintf(version, sizeof version, "%d.%02d", s.versionMajor, s.versionMinor);

    printLine("identity: " + identityText(id) + (id.isValid() ? " (valid)" : " (not valid)"));
    printLine("recorder number: " +
              (number >= 0 ? std::to_string(number) : std::string("not registered")));
    printLine(std::string("unit: ") + (s.tempUnit == 0 ? "Celsius" : "Fahrenheit"));
    printLine(std::string("date order: ") + (s.dateOrder == 0 ? "month-day" : "day-month"));
    printLine("interval: " + std::to_string(s.interval) + " min");
    printLine("last block: " + std::to_string(s.lastBlock));
    printLine("wrap marker: " + std::to_string(s.wrapMarker) +
              (s.wrapMarker == header::wrapped ? " (wrapped)" : ""));
    printLine(std::string("version: ") + version);
    printLine("circular mode: " + circularText(s.circularMode));
    printLine("slots in use: " + std::to_string(s.slotsInUse));
    for (int k = 0; k < kSlotCount; ++k) {
        printLine("slot " + std::to_string(k + 1) + ": " +
                  slotText(s.slots[static_cast<std::size_t>(k)]));
    }
    printLine("recorder clock: " + timeText(dateTimeFromBytes(header.data() + header::clock)));
}

} // namespace

int runInfo(const CliRequest& request, const Folders& folders) {
    int status = kExitOk;
    std::unique_ptr<HidBackend> backend;
    if (!openBackend(request, backend, status)) {
        return status;
    }
    Clock& clock = SystemClock::instance();
    std::string chosen;
    if (!chooseRecorder(request, *backend, folders, chosen, status)) {
        return status;
    }
    LoggerLink link(*backend, chosen);
    if (!waitForPresence(link, request.waitSeconds, clock)) {
        printNoRecorder(request.waitSeconds);
        return kExitNoRecorder;
    }
    HeaderImage header{};
    if (link.ReadHeader(header) == 0) {
        printError("the recorder's header could not be read (the recorder was lost)");
        return kExitIncomplete;
    }
    printHeader(header, folders, clock);
    return kExitOk;
}

} // namespace veldrin::cli
