#include "foundation/time_agent.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/calendar_math.h"

namespace vorn {
namespace {

namespace chr = std::chrono;

// Runs one formatter into a guarded buffer and checks that the returned end is the NUL.
template <class Format> std::string Text(Format format) {
    char buffer[kTimeTextCapacity + 8];
    std::memset(buffer, '#', sizeof buffer);
    char* end = format(buffer);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(static_cast<std::size_t>(end - buffer), std::strlen(buffer));
    EXPECT_EQ(buffer[kTimeTextCapacity], '#') << "wrote past the formatter bound";
    return std::string(buffer, end);
}

chr::year_month_day Ymd(PackedDateTime t) {
    return chr::year{static_cast<int>(DateTimeYear(t))} / static_cast<int>(DateTimeMonth(t)) /
           static_cast<int>(DateTimeDay(t));
}

TEST(TimeAgentFormat, Dates) {
    const CTimeAgent& agent = TimeAgent();
    const PackedDate d = MakePackedDate(2007, 1, 5);
    auto date = [&](PackedDate v, bool four, bool padded) {
        return Text([&](char* b) { return agent.FormatDate(b, v, four, padded); });
    };
    EXPECT_EQ(date(d, true, true), "2007/01/05");
    EXPECT_EQ(date(d, false, true), "07/01/05");
    EXPECT_EQ(date(d, true, false), "2007/1/5");
    EXPECT_EQ(date(d, false, false), "7/1/5");
    EXPECT_EQ(date(kNoDate, true, true), "0000/00/00");
    EXPECT_EQ(date(kNoDate, false, false), "00/00/00");
    EXPECT_EQ(date(kOpenEnd, true, false), "9999/99/99");
    EXPECT_EQ(date(kOpenEnd, false, true), "99/99/99");

    EXPECT_EQ(Text([&](char* b) { return agent.FormatJapaneseDate(b, d); }),
              "2007年01月05日 金曜日");
    EXPECT_EQ(Text([&](char* b) { return agent.FormatJapaneseDate(b, kNoDate); }),
              "0000年00月00日");
    EXPECT_EQ(Text([&](char* b) { return agent.FormatJapaneseDate(b, kOpenEnd); }),
              "9999年99月99日");
}

TEST(TimeAgentFormat, TimesAndDateTimes) {
    const CTimeAgent& agent = TimeAgent();
    const PackedTime t = MakePackedTime(9, 5, 7, 42);
    EXPECT_EQ(Text([&](char* b) { return agent.FormatTime(b, t, false, true); }), "09:05");
    EXPECT_EQ(Text([&](char* b) { return agent.FormatTime(b, t, true, false); }), "09:05:07");
    EXPECT_EQ(Text([&](char* b) { return agent.FormatTime(b, t, true, true); }), "09:05:07.042");
    // The widest fields a packed time can hold still fit.
    EXPECT_EQ(Text([&](char* b) { return agent.FormatTime(b, 0xFFFFFFFFu, true, true); }),
              "31:63:63.1023");

    // Weekday bits left at zero: the weekday shown comes from the date (a Monday).
    const PackedDateTime dt = MakePackedDateTime(2007, 1, 1, 15, 30);
    auto format = [&](bool four, bool weekday, bool time) {
        return Text([&](char* b) { return agent.FormatDateTime(b, dt, four, weekday, time); });
    };
    EXPECT_EQ(format(true, false, false), "2007/01/01");
    EXPECT_EQ(format(false, false, false), "07/01/01");
    EXPECT_EQ(format(true, true, false), "2007/01/01 月曜日");
    EXPECT_EQ(format(false, false, true), "07/01/01 15:30");
    EXPECT_EQ(format(true, true, true), "2007/01/01  月曜日 15:30");
    EXPECT_EQ(format(false, true, true), "07/01/01  月曜日 15:30");
}

TEST(TimeAgentFormat, ChainsFieldsIntoOneBuffer) {
    char buffer[2 * kTimeTextCapacity];
    char* end = TimeAgent().FormatDate(buffer, MakePackedDate(2008, 2, 29), true, true);
    *end++ = ' ';
    end = TimeAgent().FormatTime(end, MakePackedTime(23, 59, 0, 0), false, false);
    EXPECT_STREQ(buffer, "2008/02/29 23:59");
    EXPECT_EQ(end, buffer + std::strlen(buffer));
}

TEST(TimeAgentFormat, Now) {
    CTimeAgent& agent = TimeAgent();
    EXPECT_EQ(agent.FormatNow(nullptr, true, true, true, true, true), nullptr);
    const std::string w = "(日|月|火|水|木|金|土)曜日";
    const std::string d4 = R"(\d{4}/\d{2}/\d{2})", d2 = R"(\d{2}/\d{2}/\d{2})";
    struct Case {
        bool four, weekday, time, seconds, ms;
        std::string pattern;
    } cases[] = {
        {true, false, false, true, true, d4},
        {false, true, false, false, false, d2 + " " + w},
        {true, false, true, false, false, d4 + R"( \d{2}:\d{2})"},
        {true, false, true, true, false, d4 + R"( \d{2}:\d{2}:\d{2})"},
        {false, false, true, true, true, d2 + R"( \d{2}:\d{2}:\d{2}\.\d{3})"},
        // Milliseconds only with seconds.
        {true, false, true, false, true, d4 + R"( \d{2}:\d{2})"},
        {true, true, true, false, false, d4 + " " + w + R"( \d{2}:\d{2})"},
        {true, true, true, true, true, d4 + " " + w + R"( \d{2}:\d{2}:\d{2}\.\d{3})"},
        {false, true, true, true, false, d2 + " " + w + R"( \d{2}:\d{2}:\d{2})"},
    };
    for (const Case& c : cases) {
        const std::string text = Text([&](char* b) {
            return agent.FormatNow(b, c.four, c.weekday, c.time, c.seconds, c.ms);
        });
        EXPECT_TRUE(std::regex_match(text, std::regex(c.pattern))) << text;
    }
}

TEST(TimeAgentFormat, TodayMatchesTheClock) {
    PackedTime time = 0;
    const PackedDate today = GetToday(&time);
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    ASSERT_NE(localtime_r(&seconds, &local), nullptr);
    // A midnight between the two readings may move the day by one.
    const PackedDate expected = MakePackedDate(static_cast<unsigned>(local.tm_year + 1900),
                                               static_cast<unsigned>(local.tm_mon + 1),
                                               static_cast<unsigned>(local.tm_mday));
    EXPECT_TRUE(today == expected || AddDaysToPackedDate(today, 1) == expected);
    EXPECT_LT(TimeHour(time), 24u);
    EXPECT_LT(TimeMillisecond(time), 1000u);
    EXPECT_EQ(GetToday(), GetToday(nullptr));
}

TEST(TimeAgentFormat, ConcurrentCallersGetWholeTexts) {
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            const std::regex pattern(R"(\d{4}/\d{2}/\d{2} .+曜日 \d{2}:\d{2}:\d{2}\.\d{3})");
            for (int i = 0; i < 500; ++i) {
                char buffer[kTimeTextCapacity];
                TimeAgent().FormatNow(buffer, true, true, true, true, true);
                PackedTime time;
                GetToday(&time);
                if (!std::regex_match(buffer, pattern))
                    ++bad;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(bad.load(), 0);
}

TEST(TimeAgentCalendar, KnownDays) {
    const CTimeAgent& agent = TimeAgent();
    EXPECT_EQ(agent.Weekday(2007, 1, 1), 1);
    EXPECT_EQ(agent.WeekdayOfDate(MakePackedDate(2007, 1, 1)), 1);
    EXPECT_EQ(agent.WeekdayOfDateTime(MakePackedDateTime(2007, 1, 6, 12, 0)), 6);
    EXPECT_EQ(agent.Weekday(0, 12, 31), kInvalidWeekday); // the origin of the day count

    const PackedDateTime leap = agent.AddDays(MakePackedDate(2008, 2, 28), 1);
    EXPECT_EQ(ToPackedDate(leap), MakePackedDate(2008, 2, 29));
    const PackedDateTime newYear = agent.AddDays(MakePackedDate(2007, 12, 31), 1);
    EXPECT_EQ(ToPackedDate(newYear), MakePackedDate(2008, 1, 1));
    EXPECT_EQ(DateTimeWeekday(newYear), 2u);
    EXPECT_EQ(agent.AddDaysToYmd(2000, 3, 1, -1), MakePackedDateTime(2000, 2, 29, 0, 0, 2));
    EXPECT_EQ(agent.AddDaysToYmd(1900, 3, 1, -1), MakePackedDateTime(1900, 2, 28, 0, 0, 3));
    // The time of day is not carried over.
    EXPECT_EQ(agent.AddDaysToDateTime(MakePackedDateTime(2007, 1, 31, 10, 20), 1),
              MakePackedDateTime(2007, 2, 1, 0, 0, 4));
}

// Every day the packed date can hold, against the standard library's calendar.
TEST(TimeAgentCalendar, AgreesWithTheStandardCalendarOverThePackedRange) {
    const CTimeAgent& agent = TimeAgent();
    const chr::sys_days first = chr::year{1950} / 1 / 1;
    const chr::sys_days last = chr::year{2077} / 12 / 31;
    const int steps[] = {1, -1, 2, 7, 30, -45, 366, -1000, 10000};
    for (chr::sys_days day = first; day <= last; day += chr::days{1}) {
        const chr::year_month_day ymd{day};
        const unsigned y = static_cast<unsigned>(static_cast<int>(ymd.year()));
        const unsigned m = static_cast<unsigned>(ymd.month());
        const unsigned d = static_cast<unsigned>(ymd.day());
        const PackedDate packed = MakePackedDate(y, m, d);
        const unsigned weekday = chr::weekday{day}.c_encoding();
        ASSERT_EQ(agent.WeekdayOfDate(packed), weekday) << y << "/" << m << "/" << d;

        const PackedDateTime same = agent.AddDays(packed, 0);
        ASSERT_EQ(ToPackedDate(same), packed);
        ASSERT_EQ(same, MakePackedDateTime(y, m, d, 0, 0, weekday));
        for (int k : steps) {
            const PackedDateTime moved = agent.AddDays(packed, k);
            const chr::sys_days target = day + chr::days{k};
            ASSERT_EQ(chr::sys_days{Ymd(moved)}, target) << y << "/" << m << "/" << d << " + " << k;
            ASSERT_EQ(DateTimeWeekday(moved), chr::weekday{target}.c_encoding());
        }
    }
}

} // namespace
} // namespace vorn
