// Writing an export target side by side with the atomic replacement of a data file: the export
// writer first finds out what the path stands for and keeps an existing file's mode, and must cost
// no more than that. The content is the size of a CSV of a million records (about 45 MB).
//
// The files go to $VELDRIN_BENCH_DIR, or to a fresh folder under the current directory (not
// /tmp, which may live in memory and make the fsync free).

#include "core/export_file.h"
#include "core/atomic_file.h"

#include "bench_folder.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace veldrin {
namespace {

constexpr std::size_t kCsvLine = 45; // "2026-12-7 10:05", 21.5,45,1,"2026-12-7 10:20",""
constexpr std::size_t kLines = 1'000'000;

const std::string& folder() {
    static const BenchFolder made("bench-export");
    return made.path;
}

const std::string& content() {
    static const std::string text(kCsvLine * kLines, 'x');
    return text;
}

void BM_AtomicReplacement(benchmark::State& state) {
    const std::string path = folder() + "/atomic.csv";
    std::string error;
    for (auto _ : state) {
        if (!writeFileAtomically(path, content(), error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content().size()));
}

// An existing file, its mode kept: the usual case of exporting again to the same name.
void BM_ExportOverExistingFile(benchmark::State& state) {
    const std::string path = folder() + "/export.csv";
    std::string error;
    for (auto _ : state) {
        if (!writeExportFile(path, content(), error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content().size()));
}

// Through a symbolic link to the file.
void BM_ExportThroughLink(benchmark::State& state) {
    const std::string target = folder() + "/target.csv";
    const std::string link = folder() + "/link.csv";
    std::string error;
    writeExportFile(target, "", error);
    std::filesystem::remove(link);
    std::filesystem::create_symlink(target, link);
    for (auto _ : state) {
        if (!writeExportFile(link, content(), error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content().size()));
}

BENCHMARK(BM_AtomicReplacement)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportOverExistingFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ExportThroughLink)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace
} // namespace veldrin

BENCHMARK_MAIN();
