#include "core/clock.h"
#include "core/date_time.h"
#include "core/period_bound.h"
#include "core/sha256.h"
#include "support/test_support.h"

#include <gtest/gtest.h>
#include <tuple>

#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace veldrin {
namespace {

CalendarFields fieldsOf(const DateTime& t) {
    CalendarFields f;
    EXPECT_TRUE(t.fields(f));
    return f;
}

TEST(DateTime, EpochAndKnownValues) {
    EXPECT_DOUBLE_EQ(DateTime::fromFields(1899, 12, 30).value, 0.0);
    EXPECT_DOUBLE_EQ(DateTime::fromFields(1900, 1, 1).value, 2.0);
    EXPECT_DOUBLE_EQ(DateTime::fromFields(2000, 1, 1).value, 36526.0);
    EXPECT_DOUBLE_EQ(DateTime::fromFields(2011, 6, 15, 12, 0, 0).value, 40709.5);
    EXPECT_DOUBLE_EQ(DateTime::fromFields(1899, 12, 29, 6, 0, 0).value, -1.25);
}

TEST(DateTime, InvalidCalendarDatesAreRejected) {
    EXPECT_FALSE(DateTime::fromFields(2011, 2, 30).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 2, 29).isValid());
    EXPECT_TRUE(DateTime::fromFields(2012, 2, 29).isValid());
    EXPECT_FALSE(DateTime::fromFields(1900, 2, 29).isValid());
    EXPECT_TRUE(DateTime::fromFields(2000, 2, 29).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 13, 1).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 0, 1).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 4, 31).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 1, 1, 24, 0, 0).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 1, 1, 0, 60, 0).isValid());
    EXPECT_FALSE(DateTime::fromFields(2011, 1, 1, 0, 0, 60).isValid());
    EXPECT_FALSE(DateTime::fromFields(2255 + 7745, 1, 1).isValid());
    CalendarFields f;
    EXPECT_FALSE(DateTime::invalidValue().fields(f));
}

TEST(DateTime, FieldsRoundTripAndRoundToNearestSecond) {
    const CalendarFields f = fieldsOf(DateTime::fromFields(2011, 3, 31, 23, 59, 59));
    EXPECT_EQ(f.year, 2011);
    EXPECT_EQ(f.month, 3);
    EXPECT_EQ(f.day, 31);
    EXPECT_EQ(f.hour, 23);
    EXPECT_EQ(f.minute, 59);
    EXPECT_EQ(f.second, 59);

    // 0.4 s before midnight rounds up into the next day.
    const DateTime almost =
        DateTime::fromValue(DateTime::fromFields(2011, 12, 31).value + (86400.0 - 0.4) / 86400.0);
    const CalendarFields g = fieldsOf(almost);
    EXPECT_EQ(g.year, 2012);
    EXPECT_EQ(g.month, 1);
    EXPECT_EQ(g.day, 1);
    EXPECT_EQ(g.hour, 0);
    EXPECT_EQ(g.second, 0);

    const CalendarFields h = fieldsOf(DateTime::fromValue(-1.25));
    EXPECT_EQ(h.day, 29);
    EXPECT_EQ(h.hour, 6);
}

TEST(DateTime, DayOfWeekCountsSundayAsOne) {
    EXPECT_EQ(fieldsOf(DateTime::fromFields(2011, 6, 15)).dayOfWeek, 4); // Wednesday
    EXPECT_EQ(fieldsOf(DateTime::fromFields(2011, 6, 12)).dayOfWeek, 1); // Sunday
    EXPECT_EQ(fieldsOf(DateTime::fromFields(1899, 12, 30)).dayOfWeek, 7);
    EXPECT_EQ(fieldsOf(DateTime::fromFields(1899, 12, 29)).dayOfWeek, 6);
}

TEST(DateTime, ArithmeticAndOrderingAcrossZero) {
    const DateTime noon = DateTime::fromFields(2011, 6, 15, 12, 0, 0);
    EXPECT_EQ(noon.plusMinutes(-15), DateTime::fromFields(2011, 6, 15, 11, 45, 0));
    EXPECT_EQ(noon.plusMinutes(24 * 60), DateTime::fromFields(2011, 6, 16, 12, 0, 0));
    EXPECT_EQ(secondsBetween(noon, DateTime::fromFields(2011, 6, 15, 11, 59, 55)), 5);

    // Many small steps do not drift away from the calendar value.
    DateTime t = DateTime::fromFields(2011, 1, 1);
    for (int i = 0; i < 100000; ++i) {
        t = t.plusMinutes(1);
    }
    EXPECT_EQ(t, DateTime::fromFields(2011, 3, 11, 10, 40, 0));

    const DateTime before = DateTime::fromFields(1899, 12, 29, 18, 0, 0); // -1.75
    const DateTime after = DateTime::fromFields(1899, 12, 30, 6, 0, 0);   // 0.25
    EXPECT_LT(before, after);
    EXPECT_EQ(before.plusMinutes(12 * 60), after);
    EXPECT_LT(DateTime::fromValue(-1.25), DateTime::fromValue(-1.75).plusMinutes(24 * 60));
}

// Values a damaged data file can hold: second arithmetic on them stays defined and bounded (the
// sanitizer build catches an overflow here).
TEST(DateTime, SecondsOfValuesOutsideTheCalendarAreBounded) {
    const double inf = std::numeric_limits<double>::infinity();
    for (double value : {1e300, -1e300, inf, -inf, std::nan(""), -9.2e18 / 86400}) {
        const DateTime t = DateTime::fromValue(value);
        EXPECT_LE(t.linearSeconds(), 1'000'000'000'000'000LL) << value;
        EXPECT_GE(t.linearSeconds(), -1'000'000'000'000'000LL) << value;
        CalendarFields f;
        EXPECT_FALSE(t.plusMinutes(-2147483647LL * 1000).fields(f)) << value;
        EXPECT_FALSE(t.plusMinutes(2147483647LL * 1000).fields(f)) << value;
    }
}

TEST(DateTime, ParsesCommandLineTimes) {
    DateTime t;
    ASSERT_TRUE(parseDateTimeText("2011-06-15 14:30", t));
    EXPECT_EQ(t, DateTime::fromFields(2011, 6, 15, 14, 30, 0));
    ASSERT_TRUE(parseDateTimeText("2011-06-15 14:30:12", t));
    EXPECT_EQ(t, DateTime::fromFields(2011, 6, 15, 14, 30, 12));
    EXPECT_FALSE(parseDateTimeText("2011-02-30 10:00", t));
    EXPECT_FALSE(parseDateTimeText("2011-06-15", t));
    EXPECT_FALSE(parseDateTimeText("2011-06-15 14:30 x", t));
    EXPECT_FALSE(parseDateTimeText("", t));

    using Fault = DateTimeText::Fault;
    const std::tuple<const char*, Fault, bool> cases[] = {
        {"2011-06-15 14:30", Fault::none, true},
        {"2011-06-15 14:30:00", Fault::none, false},
        {"2012-02-29 00:00", Fault::none, true},
        {"2011-02-30 10:00", Fault::noSuchDate, false},
        {"2011-02-30", Fault::noSuchDate, false},
        {"2011-13-01 10:00:00", Fault::noSuchDate, false},
        {"2011-06-15 24:00", Fault::noSuchTime, false},
        {"2011-06-15 10:60:00", Fault::noSuchTime, false},
        {"2011-06-15", Fault::notATime, false},
        {"yesterday", Fault::notATime, false},
    };
    for (const auto& [text, fault, toTheMinute] : cases) {
        const DateTimeText read = readDateTimeText(text);
        EXPECT_EQ(read.fault, fault) << text;
        if (fault == Fault::none) {
            EXPECT_EQ(read.toTheMinute, toTheMinute) << text;
        }
    }
}

// --from and --to of veldrin-cli and veldrin --report: the end takes in the whole minute or day.
TEST(PeriodBound, EndsTakeInTheirWholeMinuteOrDay) {
    const struct {
        const char* text;
        PeriodEnd end;
        std::optional<DateTime> expected;
    } cases[] = {
        {"2026-11-27", PeriodEnd::start, DateTime::fromFields(2026, 11, 27)},
        {"2026-11-27", PeriodEnd::end, DateTime::fromFields(2026, 11, 27, 23, 59, 59)},
        {"2026-11-27 10:05", PeriodEnd::end, DateTime::fromFields(2026, 11, 27, 10, 5, 59)},
        {"2026-11-27T10:05:07", PeriodEnd::end, DateTime::fromFields(2026, 11, 27, 10, 5, 7)},
        {"2026-02-30", PeriodEnd::end, std::nullopt},
        {"2026-11-27X10:05", PeriodEnd::start, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const PeriodBound bound = readPeriodBound("--to", c.text, c.end);
        EXPECT_EQ(bound.time, c.expected);
        EXPECT_EQ(bound.problem.rfind("--to: \"", 0) == 0, !c.expected) << bound.problem;
    }
    EXPECT_NE(
        periodOrderProblem(DateTime::fromFields(2026, 11, 28), DateTime::fromFields(2026, 11, 27)),
        "");
    EXPECT_EQ(
        periodOrderProblem(DateTime::fromFields(2026, 11, 27), DateTime::fromFields(2026, 11, 27)),
        "");
}

// Known digests (FIPS 180-2 examples), also when the bytes come in pieces.
TEST(Sha256, GivesTheKnownDigests) {
    const struct {
        std::vector<std::string_view> pieces;
        const char* digest;
    } cases[] = {
        {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {{"abc"}, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {{"abcdbcdecdefdefgefghfghighij", "hijkijkljklmklmnlmnomnopnopq"},
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    };
    for (const auto& c : cases) {
        Sha256 digest;
        for (const std::string_view piece : c.pieces) {
            digest.update(piece);
        }
        EXPECT_EQ(digest.hexDigest(), c.digest);
    }
}

TEST(DateTime, LocalTimeFollowsTheTimeZone) {
    const int64_t unix = 1308148212; // 2011-06-15 14:30:12 UTC
    {
        testing::ScopedTimeZone tz("UTC0");
        EXPECT_EQ(localDateTimeFromUnix(unix), DateTime::fromFields(2011, 6, 15, 14, 30, 12));
        ManualClock clock(unix);
        EXPECT_EQ(clock.nowLocal(), DateTime::fromFields(2011, 6, 15, 14, 30, 12));
        clock.sleepMs(5000);
        EXPECT_EQ(clock.nowLocal(), DateTime::fromFields(2011, 6, 15, 14, 30, 17));
    }
#ifdef _WIN32
    GTEST_SKIP() << "summer time rules in TZ: " << testing::kNamedTimeZonesMissing;
#endif
    {
        testing::ScopedTimeZone tz("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(localDateTimeFromUnix(unix), DateTime::fromFields(2011, 6, 15, 16, 30, 12));
        CalendarFields f = fieldsOf(DateTime::fromFields(2011, 6, 15, 16, 30, 12));
        std::time_t back = 0;
        ASSERT_TRUE(unixFromLocalFields(f, back));
        EXPECT_EQ(back, unix);
    }
}

} // namespace
} // namespace veldrin
