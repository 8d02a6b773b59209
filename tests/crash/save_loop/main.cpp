// Saves a file over and over until it is killed: the data file of a recorder with a million
// records, or main.ini. Each save writes the generation after the one found on disk and then prints
// that generation on a line of its own, so that whoever kills the program knows which generations
// the file may hold: the last one printed, or the next one if the kill came after the rename.
//
//   crash_save_loop data|ini FOLDER FIRST [SAVES]
//
// FIRST is the first generation to write (the one after the generation on disk); SAVES stops the
// loop after that many saves (default: never).

#include "../generations.h"
#include "core/clock.h"
#include "store/data_file.h"
#include "store/ini_file.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

using namespace veldrin;

void say(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(STDOUT_FILENO, text.data(), text.size()) < 0) {
        std::_Exit(3);
    }
}

int saveData(const std::string& folder, int32_t generation, long saves) {
    CVeldrinDoc doc(SystemClock::instance());
    const std::string path = dataFilePath(folder, 0);
    RecordList records = crash::baseRecords();
    doc.setTarget(&records);
    say("ready");
    for (long n = 0; saves < 0 || n < saves; ++n, ++generation) {
        doc.settings = crash::settingsOf(generation);
        doc.nextAddress = generation;
        if (doc.save(path) == 0) {
            std::fprintf(stderr, "%s\n", doc.errorMessage().c_str());
            return 1;
        }
        say(std::to_string(generation));
    }
    return 0;
}

int saveIni(const std::string& folder, int32_t generation, long saves) {
    IniFile ini(folder + "/main.ini");
    say("ready");
    for (long n = 0; saves < 0 || n < saves; ++n, ++generation) {
        if (!ini.writeInt("Drive ID", "ID", generation)) {
            std::fprintf(stderr, "%s\n", ini.lastError().c_str());
            return 1;
        }
        say(std::to_string(generation));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: crash_save_loop data|ini FOLDER FIRST [SAVES]\n");
        return 2;
    }
    const std::string kind = argv[1];
    const auto first = static_cast<int32_t>(std::strtol(argv[3], nullptr, 10));
    const long saves = argc > 4 ? std::strtol(argv[4], nullptr, 10) : -1;
    if (kind == "data") {
        return saveData(argv[2], first, saves);
    }
    if (kind == "ini") {
        return saveIni(argv[2], first, saves);
    }
    return 2;
}
