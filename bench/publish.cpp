// Publishing a backlog of 100,000 records to the distribution's broker on a loopback port: the
// publisher (file read, JSON, bounded window, positions kept) against a plain libmosquitto QoS 1
// loop sending the same payloads, side by side in one run. The ratio of the two throughputs is
// printed at the end; the publisher should reach at least half of the plain loop.

#include "bench_folder.h"
#include "core/atomic_file.h"
#include "core/clock.h"
#include "publish/messages.h"
#include "publish/mosquitto_session.h"
#include "publish/published_position.h"
#include "publish/publisher.h"
#include "store/data_file.h"
#include "store/ini_file.h"
#include "store/registry.h"
#include "support/local_broker.h"

#include <benchmark/benchmark.h>
#include <mosquitto.h>

#include <cstdio>
#include <map>
#include <memory>

namespace veldrin {
namespace {

constexpr int kBacklog = 100000;

struct Setup {
    BenchFolder folder{"bench-publish"};
    std::unique_ptr<testing::LocalBroker> broker;
    RecorderIdentity identity;
    RecordList records;
    std::vector<std::string> payloads;

    Setup() {
        broker = std::make_unique<testing::LocalBroker>(folder.path);
        if (!broker->start()) {
            std::fprintf(stderr, "the broker (mosquitto) did not start\n");
        }
        IniFile ini(folder.path + "/main.ini");
        registerNewRecorder(ini, 1700000000);
        registeredIdentity(ini, 0, identity);
        for (int i = 0; i < kBacklog; ++i) {
            HistoryRecord r;
            r.setTime(DateTime::fromFields(2026, 1, 1).plusMinutes(i));
            r.temperature = (i % 1201) * 0.1 - 40;
            r.humidity = static_cast<int8_t>(1 + i % 99);
            r.interval = 1;
            records.push_back(r);
        }
        std::string error;
        writeFileAtomically(dataFilePath(folder.path, 0),
                            encodeDataFile(RecorderSettings{}, records, 0), error);
        publish::RecorderInfo info;
        info.identity = identity;
        for (const HistoryRecord& r : records) {
            payloads.push_back(publish::recordJson(info, r));
        }
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void BM_PublisherBacklog(benchmark::State& state) {
    Setup& s = setup();
    publish::SessionSettings session;
    session.url.host = "127.0.0.1";
    session.url.port = s.broker->port();
    session.willTopic = "bench/availability";
    session.maxInFlight = static_cast<int>(publish::kDefaultWindow) + 16;
    publish::PublisherSettings settings;
    settings.dataFolder = s.folder.path;
    settings.prefix = "bench";
    settings.discovery = false;
    settings.positionKey = "bench";
    const auto quiet = [](const std::string&) {};
    for (auto _ : state) {
        std::remove(publish::positionPath(s.folder.path, 0, settings.positionKey).c_str());
        publish::MosquittoSession client(session);
        publish::Publisher publisher(
            settings, client, SystemClock::instance(), {}, quiet,
            [](const std::string& m) { std::fprintf(stderr, "%s\n", m.c_str()); });
        while (publisher.acknowledgedRecords(0) < kBacklog) {
            publisher.step();
        }
        publisher.finish();
    }
    state.SetItemsProcessed(state.iterations() * kBacklog);
}

// What an application would write with the library alone: publish every payload at QoS 1, let
// the library keep its own window, and wait for the last acknowledgement.
void BM_PlainLibraryLoop(benchmark::State& state) {
    Setup& s = setup();
    mosquitto_lib_init();
    const std::string topic = publish::Topics("plain", "bench").record(s.identity);
    for (auto _ : state) {
        int acknowledged = 0;
        mosquitto* m = mosquitto_new("plain", true, &acknowledged);
        mosquitto_publish_callback_set(
            m, [](mosquitto*, void* count, int) { ++*static_cast<int*>(count); });
        mosquitto_connect(m, "127.0.0.1", s.broker->port(), 30);
        for (const std::string& payload : s.payloads) {
            mosquitto_publish(m, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 1, false);
            mosquitto_loop(m, 0, 1);
        }
        while (acknowledged < kBacklog && mosquitto_loop(m, 100, 1) == MOSQ_ERR_SUCCESS) {
        }
        mosquitto_disconnect(m);
        mosquitto_destroy(m);
    }
    state.SetItemsProcessed(state.iterations() * kBacklog);
}

BENCHMARK(BM_PublisherBacklog)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlainLibraryLoop)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Keeps each benchmark's throughput for the ratio printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto found = run.counters.find("items_per_second");
            if (found != run.counters.end()) {
                rates[run.run_name.function_name] = found->second.value;
            }
        }
    }
    std::map<std::string, double> rates;
};

} // namespace
} // namespace veldrin

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    veldrin::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double publisher = reporter.rates["BM_PublisherBacklog"];
    const double plain = reporter.rates["BM_PlainLibraryLoop"];
    if (publisher > 0 && plain > 0) {
        std::printf("publisher / plain loop throughput: %.2f (at least 0.5 wanted)\n",
                    publisher / plain);
    }
    benchmark::Shutdown();
    return 0;
}
