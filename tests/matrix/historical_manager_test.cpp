#include "matrix/historical_manager.h"

#include <algorithm>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/packed_date.h"

namespace vorn {
namespace {

constexpr SearchMode kModes[] = {SearchMode::Exact, SearchMode::LowerBound, SearchMode::UpperBound};

CCalendar Make(const std::vector<unsigned short>& keys) {
    CCalendar calendar;
    for (unsigned short key : keys)
        calendar.Insert(key);
    return calendar;
}

void ExpectTerminated(const CCalendar& calendar) {
    ASSERT_NE(calendar.Data(), nullptr);
    EXPECT_EQ(calendar.Data()[calendar.Count()], 0xFFFF);
    EXPECT_GE(calendar.Capacity(), calendar.Count() + 1);
}

TEST(HistoricalManager, EmptyManagerFindsNothing) {
    CCalendar empty;
    for (SearchMode mode : kModes) {
        EXPECT_EQ(empty.Find(MakePackedDate(2007, 1, 4), mode, false), nullptr);
        EXPECT_EQ(empty.Find(MakePackedDate(2007, 1, 4), mode, true), nullptr);
        EXPECT_EQ(empty.Lookup(0, mode), nullptr);
    }
    EXPECT_EQ(empty.First(), nullptr);
    EXPECT_EQ(empty.Last(), nullptr);
    EXPECT_EQ(empty.End(), nullptr);
    EXPECT_EQ(empty.PositionOf(1), -1);

    // Cut down to nothing it behaves as empty again.
    CCalendar cut = Make({1, 2, 3});
    cut.Truncate(0);
    EXPECT_EQ(cut.Find(2, SearchMode::LowerBound), nullptr);
    cut.Insert(5);
    EXPECT_EQ(cut.Count(), 1);
    ExpectTerminated(cut);
}

TEST(HistoricalManager, ThreeDayCalendar) {
    const PackedDate jan4 = MakePackedDate(2007, 1, 4), jan5 = MakePackedDate(2007, 1, 5),
                     jan9 = MakePackedDate(2007, 1, 9);
    CCalendar calendar = Make({jan9, jan4, jan5});
    ASSERT_EQ(calendar.Count(), 3);
    ExpectTerminated(calendar);
    for (bool iterative : {false, true}) {
        const unsigned short* end = calendar.End();
        EXPECT_EQ(*calendar.Find(MakePackedDate(2007, 1, 6), SearchMode::LowerBound, iterative),
                  jan9);
        EXPECT_EQ(calendar.Find(MakePackedDate(2007, 1, 6), SearchMode::Exact, iterative), end);
        EXPECT_EQ(*calendar.Find(jan5, SearchMode::UpperBound, iterative), jan9);
        EXPECT_EQ(*calendar.Find(jan5, SearchMode::Exact, iterative), jan5);
        for (SearchMode mode : kModes)
            EXPECT_EQ(calendar.Find(MakePackedDate(2007, 1, 10), mode, iterative), end);
        EXPECT_EQ(*calendar.Find(MakePackedDate(2007, 1, 1), SearchMode::LowerBound, iterative),
                  jan4);
        EXPECT_EQ(*calendar.Find(MakePackedDate(2007, 1, 1), SearchMode::UpperBound, iterative),
                  jan4);
        EXPECT_EQ(calendar.Find(MakePackedDate(2007, 1, 1), SearchMode::Exact, iterative), end);
        EXPECT_EQ(calendar.Find(jan9, SearchMode::UpperBound, iterative), end);
    }
    EXPECT_EQ(calendar.PositionOf(jan9), 2);
    EXPECT_EQ(calendar.PositionOf(MakePackedDate(2007, 1, 8)), -1);
}

TEST(HistoricalManager, InsertKeepsKeysUniqueSortedAndTerminated) {
    CCalendar calendar;
    calendar.Insert(MakePackedDate(2007, 1, 5));
    calendar.Insert(MakePackedDate(2007, 1, 5));
    EXPECT_EQ(calendar.Count(), 1);
    ExpectTerminated(calendar);

    std::mt19937 random(7);
    std::set<unsigned short> reference;
    for (int i = 0; i < 3000; ++i) {
        const auto key = static_cast<unsigned short>(random() % 5000);
        calendar.Insert(key);
        reference.insert(key);
    }
    reference.insert(MakePackedDate(2007, 1, 5));
    ASSERT_EQ(calendar.Count(), reference.size());
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), calendar.First()));
    ExpectTerminated(calendar);
}

TEST(HistoricalManager, InsertStopsAtTheKeyLimit) {
    CCalendar calendar;
    for (unsigned key = 0; key < 0xFFFF; ++key)
        calendar.Insert(static_cast<unsigned short>(key));
    EXPECT_EQ(calendar.Count(), CCalendar::kMaxKeys);
    EXPECT_EQ(*calendar.Last(), 0xFFFD);
    ExpectTerminated(calendar);
}

TEST(HistoricalManager, AssignCopiesAndTruncateRewritesTheTerminator) {
    CCalendar source = Make({10, 20, 30, 40});
    CCalendar copy;
    copy.Insert(99);
    copy.Assign(source);
    ASSERT_EQ(copy.Count(), 4);
    EXPECT_NE(copy.Data(), source.Data());
    EXPECT_TRUE(std::equal(copy.First(), copy.End(), source.First()));
    EXPECT_EQ(copy.Capacity(), source.Capacity());

    copy.Assign(copy);
    EXPECT_EQ(copy.Count(), 4) << "assigning a manager to itself keeps its keys";

    copy.Assign(CCalendar());
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.Data(), nullptr);

    source.Truncate(2);
    EXPECT_EQ(*source.Last(), 20);
    ExpectTerminated(source);
    EXPECT_EQ(source.Find(30, SearchMode::LowerBound), source.End());
    source.Insert(25);
    EXPECT_EQ(source.Count(), 3);
    ExpectTerminated(source);
}

// Expected answer of a search over a sorted vector, as a position (size() = end).
std::size_t Reference(const std::vector<unsigned short>& keys, unsigned short key,
                      SearchMode mode) {
    switch (mode) {
    case SearchMode::Exact: {
        const auto it = std::lower_bound(keys.begin(), keys.end(), key);
        return it != keys.end() && *it == key ? it - keys.begin() : keys.size();
    }
    case SearchMode::LowerBound:
        return std::lower_bound(keys.begin(), keys.end(), key) - keys.begin();
    case SearchMode::UpperBound:
        return std::upper_bound(keys.begin(), keys.end(), key) - keys.begin();
    }
    return keys.size();
}

// Sizes around the linear tail threshold and the middle probe, dense and sparse keys, and
// every key from below the first to above the last.
TEST(HistoricalManager, IterativeAndRecursiveSearchesAgreeWithTheStandardBounds) {
    std::mt19937 random(2007);
    const int sizes[] = {1, 2, 3, 9, 10, 11, 19, 20, 21, 64, 257, 1000};
    for (int size : sizes) {
        for (int gap : {1, 2, 5}) {
            std::set<unsigned short> chosen;
            while (static_cast<int>(chosen.size()) < size)
                chosen.insert(static_cast<unsigned short>(100 + random() % (size * gap + 1)));
            const std::vector<unsigned short> keys(chosen.begin(), chosen.end());
            CCalendar calendar;
            for (unsigned short key : keys)
                calendar.Insert(key);
            ASSERT_EQ(calendar.Count(), keys.size());
            for (unsigned key = keys.front() - 2; key <= keys.back() + 2u; ++key) {
                const auto k = static_cast<unsigned short>(key);
                for (SearchMode mode : kModes) {
                    const std::size_t expected = Reference(keys, k, mode);
                    const unsigned short* recursive = calendar.Find(k, mode, false);
                    const unsigned short* iterative = calendar.Find(k, mode, true);
                    ASSERT_NE(recursive, nullptr);
                    ASSERT_EQ(recursive, iterative) << "key " << key << " size " << size;
                    ASSERT_EQ(static_cast<std::size_t>(recursive - calendar.First()), expected)
                        << "key " << key << " size " << size << " mode " << static_cast<int>(mode);
                    ASSERT_EQ(calendar.Lookup(k, mode), recursive);
                }
            }
        }
    }
}

TEST(HistoricalManager, SearchRangeOverAWholeCalendar) {
    const CCalendar calendar = Make({2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24});
    const unsigned short* first = calendar.First();
    EXPECT_EQ(calendar.SearchRange(13, 0, 12, SearchMode::LowerBound), first + 6);
    EXPECT_EQ(calendar.SearchRange(14, 0, 12, SearchMode::UpperBound), first + 7);
    EXPECT_EQ(calendar.SearchRange(13, 0, 12, SearchMode::Exact), calendar.End());
    EXPECT_EQ(calendar.SearchRange(30, 0, 12, SearchMode::UpperBound), calendar.End());
    EXPECT_EQ(calendar.SearchRange(7, 0, 3, SearchMode::LowerBound), first + 3)
        << "the high end of the range when nothing in it qualifies";
}

} // namespace
} // namespace vorn
