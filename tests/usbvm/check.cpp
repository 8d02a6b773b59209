// usbvm-check: the checks and measurements of the virtual-USB test, run inside its virtual machine,
// where no shell tool can decode a data file or take a child's CPU time.
//
//   usbvm-check run --timeout S --out FILE --err FILE -- PROGRAM ARGS...
//       runs PROGRAM, its standard output into FILE with each line prefixed by the milliseconds
//       since the start, its standard error into the other FILE; kills it after S seconds; prints
//       "exit E wall W user U sys Y" (milliseconds) and exits with its status (124: killed); an
//       interrupt or termination signal it receives is passed on to PROGRAM
//   usbvm-check history FILE [--records N] [--at-least N] [--at-most N] [--first-index K]
//                            [--recorder N] [--prefix OLD]
//       a recorder's data file as the counting recorder left it (see sim_options.h)
//   usbvm-check registry INI --count N --current K
//   usbvm-check owner --ini INI --trace TRACE [--from-line L]
//       the number main.ini registers the recorder of TRACE under, found by the identity the host
//       wrote into its header; prints "number K" after the check
//   usbvm-check identity --ini INI --number K --trace TRACE --from-line L --info INFO
//   usbvm-check clock --info INFO --within SECONDS [--trace TRACE --from-line L]
//   usbvm-check appended --trace TRACE --from-line L --before OLD --after NEW
//   usbvm-check unplugged --trace TRACE --frame N
//   usbvm-check span --stamps FILE
//
// TRACE is the frame trace of veldrin-recorder-sim --trace; lines before L (counted from 0) belong
// to earlier steps. Every check prints "PASS: what" or "FAIL: what (why)", figures print "INFO:";
// the exit status is 1 when a check failed, 2 for a usage error.

#include "core/date_time.h"
#include "core/recorder_types.h"
#include "device/frames.h"
#include "device/logger_header.h"
#include "sim/sim_options.h"
#include "store/data_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace veldrin;

constexpr int kUsage = 2;
constexpr int kKilled = 124;
constexpr double kSecondsPerDay = 86400.0;
constexpr int64_t kRecentDownloadSeconds = 15 * 60; // the virtual machine runs for less

class Checks {
public:
    void expect(bool ok, const std::string& what, const std::string& why = {}) {
        if (ok) {
            std::printf("PASS: %s\n", what.c_str());
        } else {
            std::printf("FAIL: %s%s\n", what.c_str(),
                        why.empty() ? "" : (" (" + why + ")").c_str());
            failed_ = true;
        }
    }
    int status() const { return failed_ ? 1 : 0; }

private:
    bool failed_ = false;
};

struct Arguments {
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    std::vector<std::string> command; // after "--"

    bool has(const std::string& name) const { return options.count(name) != 0; }
    std::string text(const std::string& name) const {
        const auto it = options.find(name);
        return it == options.end() ? std::string() : it->second;
    }
    int64_t number(const std::string& name, int64_t fallback = 0) const {
        const auto it = options.find(name);
        return it == options.end() ? fallback : std::strtoll(it->second.c_str(), nullptr, 0);
    }
};

Arguments parseArguments(int argc, char** argv) {
    Arguments a;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            a.command.assign(argv + i + 1, argv + argc);
            break;
        }
        if (arg.rfind("--", 0) == 0 && i + 1 < argc) {
            a.options[arg] = argv[++i];
        } else {
            a.positional.push_back(arg);
        }
    }
    return a;
}

std::string readWhole(const std::string& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    ok = static_cast<bool>(in) || in.eof();
    return content.str();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out.push_back(line);
    }
    return out;
}

// ----- run ------------------------------------------------------------------------------------

// The signal `run` received and has to pass on to its program (0: none yet).
volatile std::sig_atomic_t gPassOn = 0;

void notePassOn(int signal) {
    gPassOn = signal;
}

// Stopping a long-running program (veldrin-cli watch) the way a user does: the signal goes to the
// program, and `run` still reports how it ended.
void passSignalsOn() {
    struct sigaction action {};
    action.sa_handler = notePassOn;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

int64_t nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t cpuMs(const timeval& t) {
    return int64_t{t.tv_sec} * 1000 + t.tv_usec / 1000;
}

void writeStamped(FILE* out, std::string& pending, const char* data, std::size_t size,
                  int64_t sinceMs) {
    pending.append(data, size);
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::fprintf(out, "%lld %s\n", static_cast<long long>(sinceMs),
                     pending.substr(0, end).c_str());
        pending.erase(0, end + 1);
    }
    std::fflush(out);
}

int run(const Arguments& a) {
    if (a.command.empty() || !a.has("--out") || !a.has("--err")) {
        std::fprintf(stderr, "usbvm-check run: --out, --err and a command are needed\n");
        return kUsage;
    }
    FILE* out = std::fopen(a.text("--out").c_str(), "w");
    const int err = ::open(a.text("--err").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int pipeFds[2];
    if (out == nullptr || err < 0 || ::pipe2(pipeFds, O_CLOEXEC) != 0) {
        std::perror("usbvm-check run");
        return kUsage;
    }
    const int64_t start = nowMs();
    const int64_t deadline = start + a.number("--timeout", 60) * 1000;
    passSignalsOn(); // the program's own handlers are reset by exec
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& s : a.command) {
            argv.push_back(const_cast<char*>(s.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(err);
    std::string pending;
    bool killed = false;
    bool passedOn = false;
    for (;;) {
        if (gPassOn != 0 && !passedOn) {
            ::kill(child, gPassOn);
            passedOn = true;
        }
        const int64_t left = deadline - nowMs();
        if (left <= 0 && !killed) {
            ::kill(child, SIGKILL);
            killed = true;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        const int ready =
            ::poll(&p, 1, killed ? 1000 : static_cast<int>(std::min<int64_t>(left, 1000)));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            if (killed) {
                break; // a grandchild holds the pipe open
            }
            continue;
        }
        char buffer[4096];
        const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        writeStamped(out, pending, buffer, static_cast<std::size_t>(n), nowMs() - start);
    }
    if (!pending.empty()) {
        writeStamped(out, pending, "\n", 1, nowMs() - start);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    const int64_t wall = nowMs() - start;
    std::fclose(out);
    ::close(pipeFds[0]);
    const int code = killed              ? kKilled
                     : WIFEXITED(status) ? WEXITSTATUS(status)
                                         : 128 + WTERMSIG(status);
    std::printf("exit %d wall %lld user %lld sys %lld\n", code, static_cast<long long>(wall),
                static_cast<long long>(cpuMs(usage.ru_utime)),
                static_cast<long long>(cpuMs(usage.ru_stime)));
    return code;
}

// ----- data files -----------------------------------------------------------------------------

int32_t int32At(const std::string& bytes, std::size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<uint8_t>(bytes[offset + static_cast<std::size_t>(i)]);
    }
    return static_cast<int32_t>(v);
}

struct LoadedFile {
    std::string bytes;
    DataFileContent content;
    std::size_t recordsOffset = 0;
};

// Checks the layout independently of the program's decoder, then decodes with it.
bool loadDataFile(const std::string& path, LoadedFile& out, Checks& checks) {
    bool ok = false;
    out.bytes = readWhole(path, ok);
    const std::string name = path.substr(path.find_last_of('/') + 1);
    if (!ok || out.bytes.size() < datafile::kFixedSize) {
        checks.expect(false, name + " can be read", std::to_string(out.bytes.size()) + " bytes");
        return false;
    }
    const int32_t n = int32At(out.bytes, 32);
    const std::size_t countAt = 148 + 2 * static_cast<std::size_t>(std::max(n, 0));
    const int32_t r = countAt + 4 <= out.bytes.size() ? int32At(out.bytes, countAt) : -1;
    const bool sized =
        n >= 0 && n <= 255 && r >= 0 &&
        out.bytes.size() == datafile::fileSize(static_cast<uint64_t>(n), static_cast<uint64_t>(r));
    checks.expect(sized, name + " is 156 + 2N + 37R bytes",
                  std::to_string(out.bytes.size()) + " bytes, N " + std::to_string(n) + ", R " +
                      std::to_string(r));
    std::string message;
    const bool decoded = decodeDataFile(out.bytes, out.content, message);
    checks.expect(decoded, name + " decodes", message);
    out.recordsOffset = countAt + 4;
    return sized && decoded;
}

int rawTemperature(double celsius) {
    return static_cast<int>(std::lround((celsius + 40.0) * 10.0));
}

// Place of each record in the recording order; -1 for a record the counting recorder never made.
std::vector<int64_t> countingPlaces(const RecordList& records) {
    std::vector<int64_t> places;
    places.reserve(records.size());
    for (const HistoryRecord& r : records) {
        const int raw = rawTemperature(r.temperature);
        const bool scaled = std::fabs(raw * 0.1 - 40.0 - r.temperature) < 1e-9;
        places.push_back(scaled ? sim::countingIndex(raw, r.humidity) : -1);
    }
    return places;
}

// Address right after record `place` of the recording order, where the next download begins.
int64_t addressAfter(int64_t place) {
    return kRecordAreaStart + int64_t{kRecordSize} * (place % kRecordCapacity + 1);
}

void checkOrder(const LoadedFile& file, const Arguments& a, const std::string& name,
                Checks& checks) {
    const RecordList& records = file.content.records;
    const std::vector<int64_t> places = countingPlaces(records);
    if (records.empty()) {
        checks.expect(file.content.nextAddress == 0,
                      name + ": no history, so the next download is a complete one",
                      "next address " + std::to_string(file.content.nextAddress));
        return;
    }
    const int64_t first = a.has("--first-index") ? a.number("--first-index") : places.front();
    int64_t wrong = -1;
    for (std::size_t k = 0; k < places.size() && wrong < 0; ++k) {
        if (places[k] != first + static_cast<int64_t>(k) ||
            records[k].interval != 1) { // the recorders of this test log every minute
            wrong = static_cast<int64_t>(k);
        }
    }
    checks.expect(wrong < 0,
                  name + ": records " + std::to_string(first) + " to " +
                      std::to_string(first + static_cast<int64_t>(records.size()) - 1) +
                      " of the recording, in order, none lost or doubled, temperatures as scaled",
                  wrong < 0 ? std::string()
                            : "record " + std::to_string(wrong) + " is place " +
                                  std::to_string(places[static_cast<std::size_t>(wrong)]));
    const int64_t expectedNext = addressAfter(places.back());
    checks.expect(file.content.nextAddress == expectedNext,
                  name + ": the next download continues right after the newest record",
                  "next address " + std::to_string(file.content.nextAddress) + ", expected " +
                      std::to_string(expectedNext));
}

void checkTimes(const RecordList& records, const std::string& name, Checks& checks) {
    if (records.empty()) {
        return;
    }
    std::string spacing;
    std::string downloads;
    for (std::size_t k = 0; k < records.size(); ++k) {
        const HistoryRecord& r = records[k];
        if (!r.time().isValid() || !r.downloadTime().isValid()) {
            spacing = "record " + std::to_string(k) + " has no valid time";
            break;
        }
        if (k == 0) {
            continue;
        }
        const double gap = (r.time().linear() - records[k - 1].time().linear()) * kSecondsPerDay;
        if (spacing.empty() && std::fabs(gap - r.interval * 60.0) > 0.5) {
            spacing = "records " + std::to_string(k - 1) + " and " + std::to_string(k) + " are " +
                      std::to_string(gap) + " s apart";
        }
        if (downloads.empty() && r.downloadTime() < records[k - 1].downloadTime()) {
            downloads = "record " + std::to_string(k) + " was downloaded before record " +
                        std::to_string(k - 1);
        }
    }
    checks.expect(spacing.empty(),
                  name + ": each time stamp is its predecessor's plus the interval", spacing);
    const HistoryRecord& newest = records.back();
    const double lag = (newest.downloadTime().linear() - newest.time().linear()) * kSecondsPerDay;
    checks.expect(std::fabs(lag) <= 2.0,
                  name + ": the newest record is stamped with the time of its download",
                  std::to_string(lag) + " s before it");
    const double age =
        (localDateTimeFromUnix(std::time(nullptr)).linear() - newest.downloadTime().linear()) *
        kSecondsPerDay;
    if (downloads.empty() && (age < -2.0 || age > kRecentDownloadSeconds)) {
        downloads = "the newest download is " + std::to_string(age) + " s old";
    }
    checks.expect(downloads.empty(), name + ": download times in order and from this run",
                  downloads);
}

// The first of `old`'s records that `now` does not hold as it was, -1 when all are kept. A record
// is kept when its bytes on disk are the same but for the time stamp: a history whose newest
// record would lie in the future is shifted as a whole, and the spacing check covers the shift.
int64_t keptRecords(const LoadedFile& old, const LoadedFile& now) {
    const std::size_t timeFrom = datafile::kRecTimeStatus;
    const std::size_t timeTo = datafile::kRecDownloadStatus;
    for (std::size_t k = 0; k < old.content.records.size(); ++k) {
        const std::size_t a = old.recordsOffset + k * datafile::kRecordOnDisk;
        const std::size_t b = now.recordsOffset + k * datafile::kRecordOnDisk;
        if (b + datafile::kRecordOnDisk > now.bytes.size() ||
            old.bytes.compare(a, timeFrom, now.bytes, b, timeFrom) != 0 ||
            old.bytes.compare(a + timeTo, datafile::kRecordOnDisk - timeTo, now.bytes, b + timeTo,
                              datafile::kRecordOnDisk - timeTo) != 0) {
            return static_cast<int64_t>(k);
        }
    }
    return -1;
}

int history(const Arguments& a) {
    if (a.positional.size() != 1) {
        return kUsage;
    }
    Checks checks;
    const std::string path = a.positional[0];
    const std::string name = path.substr(path.find_last_of('/') + 1);
    LoadedFile file;
    if (!loadDataFile(path, file, checks)) {
        return checks.status();
    }
    const auto count = static_cast<int64_t>(file.content.records.size());
    if (a.has("--records")) {
        checks.expect(count == a.number("--records"),
                      name + " holds " + a.text("--records") + " records", std::to_string(count));
    }
    if (a.has("--at-least")) {
        checks.expect(count >= a.number("--at-least"),
                      name + " holds at least " + a.text("--at-least") + " records",
                      std::to_string(count));
    }
    if (a.has("--at-most")) {
        checks.expect(count <= a.number("--at-most"),
                      name + " holds at most " + a.text("--at-most") + " records",
                      std::to_string(count));
    }
    if (a.has("--recorder")) {
        checks.expect(file.content.settings.recorderNumber == a.number("--recorder"),
                      name + " belongs to recorder " + a.text("--recorder"),
                      std::to_string(file.content.settings.recorderNumber));
    }
    checkOrder(file, a, name, checks);
    checkTimes(file.content.records, name, checks);
    if (a.has("--prefix")) {
        LoadedFile old;
        if (loadDataFile(a.text("--prefix"), old, checks)) {
            checks.expect(keptRecords(old, file) < 0,
                          name + ": the earlier history is kept (values, intervals, download "
                                 "times; time stamps shifted alike at most)",
                          "record " + std::to_string(keptRecords(old, file)) + " differs");
            checks.expect(count > static_cast<int64_t>(old.content.records.size()),
                          name + ": new records were appended",
                          std::to_string(count) + " records, " +
                              std::to_string(old.content.records.size()) + " before");
        }
    }
    return checks.status();
}

// ----- main.ini -------------------------------------------------------------------------------

// A deliberately plain reading of main.ini, independent of the program's own.
std::map<std::string, std::string> registryValues(const std::string& path, bool& ok) {
    std::map<std::string, std::string> values;
    bool inRegistry = false;
    for (std::string line : lines(readWhole(path, ok))) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() == '[') {
            inRegistry = line == "[Drive ID]";
        } else if (const std::size_t eq = line.find('='); inRegistry && eq != std::string::npos) {
            values[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    return values;
}

int registry(const Arguments& a) {
    if (a.positional.size() != 1) {
        return kUsage;
    }
    Checks checks;
    bool ok = false;
    const auto values = registryValues(a.positional[0], ok);
    const auto valueOf = [&](const std::string& key) {
        const auto it = values.find(key);
        return it == values.end() ? std::string("(none)") : it->second;
    };
    checks.expect(valueOf("MaxID") == a.text("--count"),
                  "main.ini registers " + a.text("--count") + " recorder(s)",
                  "MaxID " + valueOf("MaxID"));
    checks.expect(valueOf("ID") == a.text("--current"),
                  "main.ini names recorder " + a.text("--current") + " as the latest",
                  "ID " + valueOf("ID"));
    return checks.status();
}

// ----- the frame trace ------------------------------------------------------------------------

std::vector<Frame> traceFrames(const std::string& path, int64_t fromLine) {
    bool ok = false;
    std::vector<Frame> frames;
    const std::vector<std::string> all = lines(readWhole(path, ok));
    for (std::size_t i = static_cast<std::size_t>(std::max<int64_t>(fromLine, 0)); i < all.size();
         ++i) {
        unsigned b[8];
        if (std::sscanf(all[i].c_str(), "frame %x %x %x %x %x %x %x %x", &b[0], &b[1], &b[2], &b[3],
                        &b[4], &b[5], &b[6], &b[7]) == 8) {
            Frame f{};
            std::transform(b, b + 8, f.begin(), [](unsigned v) { return static_cast<uint8_t>(v); });
            frames.push_back(f);
        }
    }
    return frames;
}

int frameAddress(const Frame& f) {
    return (f[1] << 8) | f[2];
}

bool isCommand(const Frame& f, RecorderCommand command) {
    return f[0] == static_cast<uint8_t>(command) && f[4] == f[0] && f[3] == 0x20 && f[7] == 0x20;
}

// The value last written with the one-byte command at each header address.
std::map<int, uint8_t> byteWrites(const std::vector<Frame>& frames) {
    std::map<int, uint8_t> writes;
    for (const Frame& f : frames) {
        if (isCommand(f, RecorderCommand::writeByte)) {
            writes[frameAddress(f)] = f[5];
        }
    }
    return writes;
}

std::optional<std::string> infoValue(const std::string& path, const std::string& key) {
    bool ok = false;
    for (const std::string& line : lines(readWhole(path, ok))) {
        // Lines of `run` output carry a time prefix: "123 key: value".
        const std::size_t at = line.find(key + ": ");
        if (at != std::string::npos) {
            return line.substr(at + key.size() + 2);
        }
    }
    return std::nullopt;
}

int identity(const Arguments& a) {
    Checks checks;
    bool ok = false;
    const auto values = registryValues(a.text("--ini"), ok);
    char key[16];
    std::snprintf(key, sizeof key, "ID%07lld", static_cast<long long>(a.number("--number")));
    const auto entry = values.find(key);
    long long p = 0, h = 0, l = 0;
    const bool parsed = entry != values.end() &&
                        std::sscanf(entry->second.c_str(), "%lld,%lld,%lld", &p, &h, &l) == 3;
    RecorderIdentity id;
    id.product = static_cast<uint32_t>(p);
    id.high = static_cast<uint16_t>(h);
    id.low = static_cast<uint16_t>(l);
    checks.expect(parsed && id.isValid(),
                  std::string("main.ini entry ") + key + " holds a valid identity",
                  entry == values.end() ? "missing" : entry->second);

    const std::map<int, uint8_t> writes =
        byteWrites(traceFrames(a.text("--trace"), a.number("--from-line")));
    const uint8_t expected[8] = {
        static_cast<uint8_t>(id.product >> 24), static_cast<uint8_t>(id.product >> 16),
        static_cast<uint8_t>(id.product >> 8),  static_cast<uint8_t>(id.product),
        static_cast<uint8_t>(id.high >> 8),     static_cast<uint8_t>(id.high),
        static_cast<uint8_t>(id.low >> 8),      static_cast<uint8_t>(id.low)};
    std::string wrong;
    for (int address = 8; address < 16; ++address) {
        const auto w = writes.find(address);
        if (w == writes.end() || w->second != expected[address - 8]) {
            wrong += " byte " + std::to_string(address) +
                     (w == writes.end() ? " not written" : " wrong");
        }
    }
    checks.expect(wrong.empty(), "the recorder received that identity in header bytes 8 to 15",
                  wrong);

    const std::string text = std::to_string(id.product) + "," + std::to_string(id.high) + "," +
                             std::to_string(id.low) + " (valid)";
    const auto shown = infoValue(a.text("--info"), "identity");
    checks.expect(shown && *shown == text, "the recorder's header reads back that identity",
                  shown ? *shown : "no identity line");
    const auto number = infoValue(a.text("--info"), "recorder number");
    checks.expect(number && *number == a.text("--number"),
                  "info names it recorder " + a.text("--number"), number ? *number : "no line");
    return checks.status();
}

// The identity the host wrote into header bytes 8 to 15 as main.ini spells it ("P,H,L"); empty
// when a byte was not written.
std::string writtenIdentity(const std::map<int, uint8_t>& writes) {
    uint64_t bytes = 0;
    for (int address = 8; address < 16; ++address) {
        const auto w = writes.find(address);
        if (w == writes.end()) {
            return {};
        }
        bytes = (bytes << 8) | w->second;
    }
    return std::to_string(bytes >> 32) + "," + std::to_string((bytes >> 16) & 0xFFFF) + "," +
           std::to_string(bytes & 0xFFFF);
}

// Which registered number belongs to the recorder of this trace: with several recorders
// registered in one run, the order of their numbers is the host's choice.
int owner(const Arguments& a) {
    Checks checks;
    bool ok = false;
    const auto values = registryValues(a.text("--ini"), ok);
    const std::string written =
        writtenIdentity(byteWrites(traceFrames(a.text("--trace"), a.number("--from-line"))));
    std::vector<std::string> numbers;
    for (const auto& [key, value] : values) {
        const bool entry = key.size() == 9 && key.rfind("ID", 0) == 0 &&
                           std::all_of(key.begin() + 2, key.end(), [](char c) {
                               return std::isdigit(static_cast<unsigned char>(c)) != 0;
                           });
        if (entry && !written.empty() && value == written) {
            numbers.push_back(std::to_string(std::atoi(key.c_str() + 2)));
        }
    }
    const std::string trace = a.text("--trace").substr(a.text("--trace").find_last_of('/') + 1);
    checks.expect(numbers.size() == 1,
                  "main.ini registers the identity written into the recorder of " + trace +
                      " under one number",
                  (written.empty() ? std::string("no identity written") : written) + ", " +
                      std::to_string(numbers.size()) + " entries");
    if (numbers.size() == 1) {
        std::printf("number %s\n", numbers.front().c_str());
    }
    return checks.status();
}

int clockCheck(const Arguments& a) {
    Checks checks;
    if (a.has("--trace")) {
        const std::map<int, uint8_t> writes =
            byteWrites(traceFrames(a.text("--trace"), a.number("--from-line")));
        bool all = writes.count(16) != 0 && writes.at(16) == 0x55;
        for (int address = 17; address <= 22; ++address) {
            all = all && writes.count(address) != 0;
        }
        checks.expect(all, "the host wrote the marker 0x55 and the six clock fields");
    }
    const auto shown = infoValue(a.text("--info"), "recorder clock");
    DateTime recorder;
    const bool parsed = shown && parseDateTimeText(shown->c_str(), recorder);
    const double off =
        parsed ? (recorder.linear() - localDateTimeFromUnix(std::time(nullptr)).linear()) *
                     kSecondsPerDay
               : 1e9;
    checks.expect(std::fabs(off) <= static_cast<double>(a.number("--within", 10)),
                  "the recorder's clock is within " + a.text("--within") + " s of the PC's",
                  shown ? *shown + ", " + std::to_string(off) + " s off" : "no clock line");
    return checks.status();
}

int appended(const Arguments& a) {
    Checks checks;
    LoadedFile before;
    LoadedFile after;
    if (!loadDataFile(a.text("--before"), before, checks) ||
        !loadDataFile(a.text("--after"), after, checks)) {
        return checks.status();
    }
    int64_t lowest = INT64_MAX;
    int64_t highest = -1;
    int64_t reads = 0;
    for (const Frame& f : traceFrames(a.text("--trace"), a.number("--from-line"))) {
        if (isCommand(f, RecorderCommand::read32) && frameAddress(f) >= kRecordAreaStart) {
            lowest = std::min<int64_t>(lowest, frameAddress(f));
            highest = std::max<int64_t>(highest, frameAddress(f));
            ++reads;
        }
    }
    const int64_t from = before.content.nextAddress;
    const int64_t end = endAddress(after.content.settings.lastBlock);
    checks.expect(reads > 0 && lowest >= from && highest < end,
                  "only the new records' part of the memory was read",
                  "reads from " + std::to_string(lowest) + " to " + std::to_string(highest) +
                      ", stored next address " + std::to_string(from) + ", end " +
                      std::to_string(end));
    // The chain downloads twice; each unit is read twice, the first one partly.
    const int64_t units = (end - from / kMemoryUnit * kMemoryUnit) / kMemoryUnit;
    checks.expect(reads <= 4 * (units + 1), "each of those units was read at most twice a download",
                  std::to_string(reads) + " reads of " + std::to_string(units) + " units");
    return checks.status();
}

int unplugged(const Arguments& a) {
    Checks checks;
    const std::vector<Frame> frames = traceFrames(a.text("--trace"), 0);
    const auto n = static_cast<std::size_t>(a.number("--frame"));
    checks.expect(frames.size() == n, "the recorder took no frame after the one that unplugged it",
                  std::to_string(frames.size()) + " frames");
    const bool inDownload = frames.size() >= n && n > 0 &&
                            isCommand(frames[n - 1], RecorderCommand::read32) &&
                            frameAddress(frames[n - 1]) >= kRecordAreaStart;
    checks.expect(inDownload, "the unplug came in the middle of the history download");
    return checks.status();
}

// The download's span in a stamped run of sync: from the status line before the first progress
// line (which begins with the record count) to the last progress line.
int span(const Arguments& a) {
    bool ok = false;
    const std::vector<std::string> all = lines(readWhole(a.text("--stamps"), ok));
    const auto progress = [](const std::string& line) {
        const std::size_t space = line.find(' ');
        return space != std::string::npos && space + 1 < line.size() &&
               std::isdigit(static_cast<unsigned char>(line[space + 1])) != 0;
    };
    const auto first = std::find_if(all.begin(), all.end(), progress);
    const auto last = std::find_if(all.rbegin(), all.rend(), progress);
    if (first == all.end() || first == all.begin()) {
        std::printf("FAIL: the download's progress lines are in the output\n");
        return 1;
    }
    const long long from = std::atoll((first - 1)->c_str());
    const long long to = std::atoll(last->c_str());
    std::printf("INFO: download span %lld ms, from \"%s\" to \"%s\"\n", to - from,
                (first - 1)->c_str(), last->c_str());
    std::printf("span %lld\n", to - from);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: usbvm-check run|history|registry|owner|identity|clock|"
                             "appended|unplugged|span ...\n");
        return kUsage;
    }
    const std::string command = argv[1];
    const Arguments a = parseArguments(argc, argv);
    if (command == "run") {
        return run(a);
    }
    if (command == "history") {
        return history(a);
    }
    if (command == "registry") {
        return registry(a);
    }
    if (command == "owner") {
        return owner(a);
    }
    if (command == "identity") {
        return identity(a);
    }
    if (command == "clock") {
        return clockCheck(a);
    }
    if (command == "appended") {
        return appended(a);
    }
    if (command == "unplugged") {
        return unplugged(a);
    }
    if (command == "span") {
        return span(a);
    }
    std::fprintf(stderr, "usbvm-check: unknown command %s\n", command.c_str());
    return kUsage;
}
