// The choice of a backend by name: the device layer's own kinds, one a program adds (the software
// recorder), and what reaches a kind's factory.

#include "device/backend_registry.h"
#include "device/logger_link.h"
#include "device/socket_check.h"
#include "sim/sim_backend.h"
#include "sim/sim_registration.h"

#include <gtest/gtest.h>

namespace veldrin {
namespace {

// A kind taking an argument that records what its factory was given.
struct Probe {
    std::string argument;
    Clock* clock = nullptr;

    BackendKind kind() {
        BackendKind k;
        k.name = "probe:";
        k.argument = "ARG";
        k.open = [this](const std::string& a, Clock& c, std::string& error) {
            argument = a;
            clock = &c;
            error = "probe refused";
            return std::unique_ptr<HidBackend>();
        };
        k.check = [](const std::string& a) {
            return DeviceCheck{DeviceOutlook::never, "probe judged " + a};
        };
        return k;
    }
};

// The socket kinds are offered only where the build reaches sockets.
std::string withSockets(const std::string& others) {
    return socketBackendBuilt() ? others + ", socket-dir:DIR or socket:PATH" : others;
}

TEST(BackendRegistry, NamesAreTakenExactlyOrByTheirPrefix) {
    BackendRegistry plain;
    BackendRegistry withSim;
    withSim.add(sim::simBackendKind());
    withSim.add(sim::simBackendKind()); // a second registration replaces the first
    EXPECT_EQ(plain.namesText(), socketBackendBuilt() ? withSockets("hid") : "hid");
    EXPECT_EQ(withSim.namesText(), socketBackendBuilt() ? withSockets("hid, sim") : "hid or sim");

    struct Case {
        std::string name;
        bool plainKnows;
        bool simKnows;
    };
    const Case cases[] = {
        {"hid", true, true},       {"sim", false, true},     {"socket:/tmp/r.sock", true, true},
        {"socket:", false, false}, {"socket", false, false}, {"simulator", false, false},
        {"sim:", false, false},    {"HID", false, false},    {"", false, false},
        {"hid:x", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(plain.knows(c.name), c.plainKnows) << c.name;
        EXPECT_EQ(withSim.knows(c.name), c.simKnows) << c.name;
        if (!c.simKnows) {
            std::string error;
            EXPECT_EQ(withSim.open(c.name, SystemClock::instance(), error), nullptr) << c.name;
            EXPECT_EQ(error, "unknown recorder backend \"" + c.name + "\" (use " +
                                 (socketBackendBuilt() ? withSockets("hid, sim") : "hid or sim") +
                                 ")");
            EXPECT_EQ(withSim.check(c.name).outlook, DeviceOutlook::usable) << c.name;
        }
    }
}

TEST(BackendRegistry, AKindGetsItsArgumentAndTheClockAndSpeaksForItself) {
    BackendRegistry registry;
    Probe probe;
    registry.add(probe.kind());
    ManualClock clock;
    std::string error;
    EXPECT_EQ(registry.open("probe:a:b", clock, error), nullptr);
    EXPECT_EQ(probe.argument, "a:b");
    EXPECT_EQ(probe.clock, &clock);
    EXPECT_EQ(error, "probe refused");
    const DeviceCheck check = registry.check("probe:c");
    EXPECT_EQ(check.outlook, DeviceOutlook::never);
    EXPECT_EQ(check.reason, "probe judged c");
    EXPECT_EQ(registry.namesText(),
              socketBackendBuilt() ? withSockets("hid, probe:ARG") : "hid or probe:ARG");
}

TEST(BackendRegistry, EachOpeningOfSimIsAFreshDemonstrationRecorder) {
    BackendRegistry registry;
    registry.add(sim::simBackendKind());
    ManualClock clock;
    std::string error;
    std::unique_ptr<HidBackend> first = registry.open("sim", clock, error);
    ASSERT_NE(first, nullptr);
    LoggerLink link(*first);
    HeaderImage h{};
    ASSERT_EQ(link.ReadHeader(h), 1);
    EXPECT_FALSE(identityFromHeader(h).isValid());                         // starts blank
    EXPECT_EQ(h[header::lastBlock], (sim::kDemoHistoryRecords + 63) / 64); // history preloaded
    ASSERT_EQ(link.WriteByte(header::interval, 5), 1);

    std::unique_ptr<HidBackend> second = registry.open("sim", clock, error);
    LoggerLink other(*second);
    HeaderImage h2{};
    ASSERT_EQ(other.ReadHeader(h2), 1);
    EXPECT_EQ(h2[header::interval], 1); // not the first one's recorder
}

// A link bound to one interface reaches its own recorder only, and loses it alone when it is
// pulled.
TEST(LoggerLink, ALinkBoundToAnInterfaceReachesOnlyItsOwnRecorder) {
    ManualClock clock;
    std::vector<std::shared_ptr<sim::SoftwareRecorder>> recorders;
    for (int i = 0; i < 3; ++i) {
        recorders.push_back(
            std::make_shared<sim::SoftwareRecorder>(sim::demoRecorderConfig(), clock));
    }
    std::unique_ptr<HidBackend> backend = sim::makeSimBackend(recorders);
    std::vector<std::unique_ptr<LoggerLink>> links;
    for (std::size_t i = 0; i < recorders.size(); ++i) {
        links.push_back(std::make_unique<LoggerLink>(*backend, sim::simInterfacePath(i)));
        ASSERT_EQ(links[i]->WriteByte(header::interval, static_cast<uint8_t>(10 + i)), 1);
    }
    recorders[1]->unplug();
    for (std::size_t i = 0; i < recorders.size(); ++i) {
        HeaderImage h{};
        const bool reached = links[i]->CheckPresence() == 1 && links[i]->ReadHeader(h) == 1;
        EXPECT_EQ(reached ? h[header::interval] : 0, i == 1 ? 0 : 10 + i) << i;
    }
}

} // namespace
} // namespace veldrin
