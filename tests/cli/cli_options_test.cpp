#include "cli/cli_options.h"

#include "cli/exit_status.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

namespace veldrin::cli {
namespace {

ParseOutcome parse(std::vector<std::string> args) {
    return parseCommandLine(args);
}

CliRequest parsed(std::vector<std::string> args) {
    const ParseOutcome outcome = parse(args);
    EXPECT_EQ(outcome.status, kExitOk) << outcome.message;
    return outcome.request;
}

TEST(CliOptions, DefaultsOfAPlainCommand) {
    const CliRequest r = parsed({"sync"});
    EXPECT_EQ(r.command, Command::sync);
    EXPECT_EQ(r.device, "hid");
    EXPECT_EQ(r.dataDir, "");
    EXPECT_FALSE(r.language.has_value());
    EXPECT_EQ(r.waitSeconds, 10);
    EXPECT_FALSE(r.help);
}

TEST(CliOptions, GlobalOptionsStandBeforeOrAfterTheCommand) {
    const CliRequest r =
        parsed({"--data-dir", "/d", "sync", "--wait", "3", "--device", "socket:/s", "--lang=2"});
    EXPECT_EQ(r.dataDir, "/d");
    EXPECT_EQ(r.device, "socket:/s");
    EXPECT_EQ(r.language, 2);
    EXPECT_EQ(r.waitSeconds, 3);
    EXPECT_EQ(parsed({"list", "--data-dir=/e"}).dataDir, "/e");
}

TEST(CliOptions, SyntaxErrorsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},                                               // no command
        {"--data-dir", "/d"},                             // still no command
        {"frobnicate"},                                   // unknown command
        {"sync", "--bogus"},                              // unknown option
        {"--wait", "3", "sync"},                          // a command's option before the command
        {"sync", "--recorder", "1"},                      // another command's option
        {"sync", "extra"},                                // stray argument
        {"sync", "--wait"},                               // missing value
        {"configure", "--slot", "1", "2030-01-01 00:00"}, // --slot takes three values
        {"configure", "--slot=1"},                        // ... given separately
        {"export"},                                       // --recorder is required
        {"clear", "--out", "x"},                          // export's option on clear
        {"--device"},                                     // missing value of a global option
        {"sync", "--mqtt", "mqtt://broker"},              // publishing is watch's
        {"watch", "--mqtt-no-discovery"},                 // ... and needs the broker
#if VELDRIN_HAVE_MQTT // a build without the client refuses any URL as invalid input
        {"watch", "--mqtt", "mqtt://broker:99999"}, // a URL that cannot be used
#endif
        {"watch", "--mqtt", "mqtt://broker", "--mqtt-ca", "ca.pem"}, // an authority without TLS
        {"stats", "--json"},                                         // --recorder is required
        {"stats", "--recorder", "0", "--json=yes"},                  // --json takes no value
        {"limits", "--recorder", "0", "--off", "hum-low", "--hum-low", "3"}, // both
        {"stats", "--recorder", "0", "--unit", "F"}, // limits' option on stats
    };
    for (const auto& args : cases) {
        const ParseOutcome outcome = parse(args);
        EXPECT_EQ(outcome.status, kExitUsage) << ::testing::PrintToString(args);
        EXPECT_FALSE(outcome.message.empty());
    }
}

TEST(CliOptions, BadValuesAreInvalidInputNamingTheValue) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"sync", "--wait", "soon"}, "soon"},
        {{"sync", "--data-dir", ""}, "--data-dir"},
        {{"sync", "--wait", "-1"}, "-1"},
        {{"sync", "--wait", "86401"}, "86401"},
        {{"sync", "--device", "usb"}, "usb"},
        {{"sync", "--device", "socket:"}, "socket:"},
        {{"sync", "--lang", "3"}, "\"3\""},
        {{"export", "--recorder", "x1"}, "x1"},
        {{"export", "--recorder", "0", "--from", "yesterday"}, "yesterday"},
        {{"export", "--recorder", "0", "--to", "2011-02-30 10:00"}, "no such date"},
        {{"export", "--recorder", "0", "--from", "2011-02-30"}, "\"2011-02-30\": there is no"},
        {{"export", "--recorder", "0", "--from", "2011-06-15 25:00"}, "no such time"},
        {{"configure", "--unit", "K"}, "K"},
        {{"configure", "--date-order", "ymd"}, "ymd"},
        {{"configure", "--circular", "yes"}, "yes"},
        {{"configure", "--interval", "1.5"}, "1.5"},
        {{"configure", "--slot", "5", "2030-01-01 00:00", "2030-01-02 00:00"}, "5"},
        {{"configure", "--slot", "1", "2030-01-01", "2030-01-02 00:00"}, "2030-01-01"},
        {{"configure", "--slot-off", "0"}, "0"},
        {{"limits", "--recorder", "0", "--temp-high", "25,5"}, "25,5"},
        {{"limits", "--recorder", "0", "--hum-low", "nan"}, "nan"},
        {{"limits", "--recorder", "0", "--delay", "-1"}, "-1"},
        {{"limits", "--recorder", "0", "--off", "temp"}, "temp"},
        {{"watch", "--on-alarm", ""}, "--on-alarm"},
    };
    for (const auto& [args, value] : cases) {
        const ParseOutcome outcome = parse(args);
        EXPECT_EQ(outcome.status, kExitInvalid) << ::testing::PrintToString(args);
        EXPECT_NE(outcome.message.find(value), std::string::npos) << outcome.message;
    }
}

TEST(CliOptions, ExportWindow) {
    const CliRequest r = parsed({"export", "--recorder", "2", "--from", "2011-06-15 12:00", "--to",
                                 "2011-06-15 13:00:30", "--out", "a.csv"});
    EXPECT_EQ(r.command, Command::exportRecords);
    EXPECT_EQ(r.recorder, 2);
    EXPECT_EQ(r.from, DateTime::fromFields(2011, 6, 15, 12, 0));
    EXPECT_EQ(r.to, DateTime::fromFields(2011, 6, 15, 13, 0, 30));
    EXPECT_EQ(r.outPath, "a.csv");

    const ParseOutcome reversed = parse(
        {"export", "--recorder", "2", "--from", "2011-06-15 13:00", "--to", "2011-06-15 12:59"});
    EXPECT_EQ(reversed.status, kExitInvalid);
    EXPECT_NE(reversed.message.find("--from"), std::string::npos);
    // The end given to the minute takes in the whole minute: the record taken at 13:00:58 is
    // shown as 13:00 and belongs to it.
    const CliRequest sameMinute = parsed(
        {"export", "--recorder", "2", "--from", "2011-06-15 13:00", "--to", "2011-06-15 13:00"});
    EXPECT_EQ(sameMinute.from, DateTime::fromFields(2011, 6, 15, 13, 0, 0));
    EXPECT_EQ(sameMinute.to, DateTime::fromFields(2011, 6, 15, 13, 0, 59));
}

TEST(CliOptions, NegativeRecorderIsLeftToTheRegistryCheck) {
    EXPECT_EQ(parsed({"clear", "--recorder", "-1"}).recorder, -1);
}

TEST(CliOptions, ConfigureChanges) {
    const CliRequest r = parsed({"configure",
                                 "--unit",
                                 "F",
                                 "--date-order",
                                 "dm",
                                 "--circular",
                                 "off",
                                 "--interval",
                                 "0",
                                 "--description",
                                 "--lang",
                                 "--slot",
                                 "2",
                                 "2030-01-01 08:00",
                                 "2030-01-01 18:30:59",
                                 "--slot-off",
                                 "3",
                                 "--slot",
                                 "3",
                                 "2030-02-01 00:00",
                                 "2030-02-02 00:00",
                                 "--wait",
                                 "4"});
    const ConfigureRequest& c = r.configure;
    EXPECT_EQ(c.unit, 1);
    EXPECT_EQ(c.dateOrder, 1);
    EXPECT_EQ(c.circular, false);
    EXPECT_EQ(c.interval, 0);           // parsed; its range is the configuration check's
    EXPECT_EQ(c.description, "--lang"); // a value is taken as it stands
    EXPECT_FALSE(r.language.has_value());
    EXPECT_EQ(r.waitSeconds, 4);
    ASSERT_EQ(c.slots.size(), 3u);
    EXPECT_EQ(c.slots[0].slot, 2);
    EXPECT_TRUE(c.slots[0].inUse);
    EXPECT_EQ(c.slots[0].end, DateTime::fromFields(2030, 1, 1, 18, 30, 59));
    EXPECT_EQ(c.slots[1].slot, 3);
    EXPECT_FALSE(c.slots[1].inUse);
    EXPECT_EQ(c.slots[2].slot, 3);
    EXPECT_TRUE(c.slots[2].inUse);
}

TEST(CliOptions, LimitsTakeTheirOwnUnit) {
    const CliRequest r = parsed({"limits", "--unit", "F", "--recorder", "2", "--temp-low=-4.5",
                                 "--off", "hum-high", "--delay", "30"});
    EXPECT_EQ(r.limits.fahrenheit, true);
    EXPECT_FALSE(r.configure.unit);
    // Without --unit: the recorder's own.
    EXPECT_FALSE(parsed({"limits", "--recorder", "2"}).limits.fahrenheit);
    EXPECT_EQ(r.limits.values[static_cast<std::size_t>(LimitKind::tempLow)], -4.5);
    EXPECT_EQ(r.limits.off, std::vector<LimitKind>{LimitKind::humHigh});
    EXPECT_EQ(r.limits.delayMinutes, 30);
    EXPECT_TRUE(r.limits.changes());
    EXPECT_FALSE(parsed({"limits", "--recorder", "2", "--unit", "F"}).limits.changes());
    EXPECT_EQ(parsed({"configure", "--unit", "F"}).configure.unit, 1);
}

TEST(CliOptions, UnchangedValuesStayAbsent) {
    const ConfigureRequest c = parsed({"configure"}).configure;
    EXPECT_FALSE(c.unit || c.dateOrder || c.circular || c.interval || c.description);
    EXPECT_TRUE(c.slots.empty());
}

// The usage text's paragraph of a command: from its line ("  NAME ...") to the next command's
// line or the blank line that ends the list; the first line for the global options.
std::string usageParagraph(const std::optional<Command>& command) {
    const std::string usage = usageText();
    if (!command) {
        return usage.substr(0, usage.find('\n'));
    }
    const std::size_t start = usage.find(std::string("\n  ") + commandName(*command) + " ");
    if (start == std::string::npos) {
        return {};
    }
    std::size_t end = start;
    do { // the paragraph's own lines are indented deeper than a command's line
        end = usage.find('\n', end + 1);
    } while (end != std::string::npos && usage.compare(end + 1, 3, "   ") == 0);
    return usage.substr(start, end - start);
}

TEST(CliOptions, HelpAnywhere) {
    EXPECT_TRUE(parsed({"--help"}).help);
    EXPECT_TRUE(parsed({"sync", "-h"}).help);
    // Every command and every option the parser takes is told, in its command's paragraph.
    for (const CommandSpec& spec : commandSpecs()) {
        EXPECT_FALSE(usageParagraph(spec.command).empty()) << spec.name;
    }
    for (const OptionName& option : optionNames()) {
#if !VELDRIN_HAVE_MQTT
        if (option.name.rfind("--mqtt", 0) == 0) {
            continue; // a build without the client only refuses them
        }
#endif
        if (option.commands.empty()) {
            EXPECT_NE(usageParagraph(std::nullopt).find(option.name + " "), std::string::npos)
                << option.name;
        }
        for (const Command command : option.commands) {
            const std::string paragraph = usageParagraph(command);
            EXPECT_TRUE(paragraph.find(option.name + " ") != std::string::npos ||
                        paragraph.find(option.name + "]") != std::string::npos)
                << option.name << " in " << commandName(command) << ":\n"
                << paragraph;
        }
    }
}

// info and configure take --recorder without needing it: with several recorders attached it names
// the one.
TEST(CliOptions, TheCommandsOnARecordersFilesNeedItsNumberAndOnlyInfoAndConfigureTakeIt) {
    const std::map<std::string, bool> needsRecorder = {
        {"sync", false},
        {"watch", false},
        {"info", false},
        {"list", false},
        {"export", true},
        {"clear", true},
        {"configure", false},
        {"limits", true},
        {"stats", true},
#if VELDRIN_HAVE_MQTT
        {"mqtt-forget", true},
#endif
    };
    const auto takes = [](const std::string& name, bool needs) {
        return needs || name == "info" || name == "configure";
    };
    ASSERT_EQ(commandSpecs().size(), needsRecorder.size());
    for (const auto& [name, needs] : needsRecorder) {
        const ParseOutcome without = parse({name});
        EXPECT_EQ(without.status, needs ? kExitUsage : kExitOk) << name;
        if (needs) {
            EXPECT_EQ(without.message, name + " needs --recorder N");
        }
        std::vector<std::string> with_recorder{name, "--recorder", "1"};
        if (name == "mqtt-forget") { // its other required option
            with_recorder.insert(with_recorder.end(), {"--mqtt", "mqtt://localhost"});
        }
        const ParseOutcome with = parse(with_recorder);
        EXPECT_EQ(with.status, takes(name, needs) ? kExitOk : kExitUsage) << name;
    }
}

} // namespace
} // namespace veldrin::cli
