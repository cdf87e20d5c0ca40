#include <gtest/gtest.h>

#include <limits>

#include "instutils/DateTime.h"

namespace {

LocalTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0) {
    return LocalTime{year, month, day, hour, minute, second, ms};
}

void ExpectSame(const LocalTime& a, const LocalTime& b) {
    EXPECT_EQ(std::vector<int>({a.year, a.month, a.day, a.hour, a.minute, a.second, a.millisecond}),
              std::vector<int>({b.year, b.month, b.day, b.hour, b.minute, b.second, b.millisecond}));
}

TEST(DateTime, CountsDaysFrom1899_12_30) {
    EXPECT_EQ(EncodeDateTime(At(1899, 12, 30)), 0.0);
    EXPECT_EQ(EncodeDateTime(At(1900, 3, 1)), 61.0);
    EXPECT_EQ(EncodeDateTime(At(2000, 1, 1, 12)), 36526.5);
    EXPECT_EQ(EncodeDateTime(At(1899, 12, 29, 6)), -1.25);   // time counts forward before day 0 too
}

TEST(DateTime, DecodeIsTheInverse) {
    for (const LocalTime& t : {At(1899, 12, 29, 6), At(1980, 1, 1), At(2000, 2, 29, 23, 59, 59, 999),
                               At(2024, 12, 31, 13, 14, 15, 160)})
        ExpectSame(DecodeDateTime(EncodeDateTime(t)), t);
}

TEST(DateTime, LastMillisecondRoundsIntoTheNextDay) {
    ExpectSame(DecodeDateTime(36526.0 - 1e-9), At(2000, 1, 1));
}

TEST(DateTime, NoNumberOrOneFarOutsideTheCalendarDecodesToItsEdge) {
    ExpectSame(DecodeDateTime(std::numeric_limits<double>::quiet_NaN()), At(1899, 12, 30));
    EXPECT_EQ(DecodeDateTime(1e300).year, DecodeDateTime(1e9).year);
    EXPECT_GT(DecodeDateTime(1e9).year, 2000000);
    EXPECT_LT(DecodeDateTime(-1e300).year, -2000000);
}

TEST(DosDateTime, PacksWithTwoSecondStepsWithin1980To2099) {
    EXPECT_EQ(DateTimeToDos(EncodeDateTime(At(1980, 1, 1))), 0x00210000u);
    EXPECT_EQ(DateTimeToDos(EncodeDateTime(At(2005, 6, 15, 14, 30, 21))),
              DateTimeToDos(EncodeDateTime(At(2005, 6, 15, 14, 30, 20))));
    EXPECT_NE(DateTimeToDos(EncodeDateTime(At(2099, 12, 31, 23, 59, 58))), 0u);
    EXPECT_EQ(DateTimeToDos(EncodeDateTime(At(1979, 12, 31, 23, 59, 58))), 0u);
    EXPECT_EQ(DateTimeToDos(EncodeDateTime(At(2100, 1, 1))), 0u);
}

TEST(DosDateTime, NoCalendarDateHasNoDosForm) {
    EXPECT_EQ(DateTimeToDos(1e300), 0u);
    EXPECT_EQ(DateTimeToDos(-1e300), 0u);
    EXPECT_EQ(DateTimeToDos(std::numeric_limits<double>::quiet_NaN()), 0u);
    EXPECT_EQ(DateTimeToDos(std::numeric_limits<double>::infinity()), 0u);
}

TEST(DosDateTime, UnpacksToTheSameMoment) {
    double t = EncodeDateTime(At(2005, 6, 15, 14, 30, 20));
    EXPECT_EQ(DosToDateTime(DateTimeToDos(t)), t);
    EXPECT_EQ(DosToDateTime(0), 0.0);            // month 0 names no moment
    EXPECT_EQ(DosToDateTime((4u << 21) | (31u << 16)), 0.0);   // 31 April 1980
}

}  // namespace
