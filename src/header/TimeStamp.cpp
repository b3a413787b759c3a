#include "header/TimeStamp.h"

#include <array>

std::string MonthName(unsigned month)
{
    static constexpr std::array<const char*, 12> kNames{
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (month < 1 || month > 12)
        return "NA";
    return kNames[month - 1];
}

namespace {

bool IsLeapYear(unsigned year)
{
    // Gregorian rule: 2100 is a common year, 2000 a leap year.
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

std::string StampCaption(uint32_t seconds)
{
    const unsigned second = seconds % 60;
    const unsigned minute = (seconds / 60) % 60;
    const uint32_t hours = seconds / 3600;
    const unsigned hour = hours % 24;
    uint32_t day = hours / 24; // days since 1970-01-01

    unsigned year = 1970;
    for (;;) {
        const uint32_t yearDays = IsLeapYear(year) ? 366 : 365;
        if (day < yearDays)
            break;
        day -= yearDays;
        ++year;
    }

    const unsigned monthDays[12] = {31, IsLeapYear(year) ? 29u : 28u, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    unsigned month = 1;
    while (day >= monthDays[month - 1]) {
        day -= monthDays[month - 1];
        ++month;
    }

    return MonthName(month) + "  " + std::to_string(day + 1) + ", " + std::to_string(year) + "   "
        + std::to_string(hour) + ":" + std::to_string(minute) + ":" + std::to_string(second);
}
