#include "core/clock.h"

#include <chrono>
#include <thread>

namespace veldrin {

DateTime Clock::nowLocal() {
    return localDateTimeFromUnix(static_cast<std::time_t>(unixSeconds()));
}

int64_t SystemClock::unixSeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::steadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void SystemClock::sleepMs(int64_t ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

SystemClock& SystemClock::instance() {
    static SystemClock clock;
    return clock;
}

} // namespace veldrin
