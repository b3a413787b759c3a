#include "header/TimeStamp.h"

#include <QTest>

#include <chrono>
#include <random>

class TimeStampTest : public QObject {
    Q_OBJECT
private slots:
    void monthName_data();
    void monthName();
    void caption_data();
    void caption();
    void agreesWithTheCalendarLibrary();
};

void TimeStampTest::monthName_data()
{
    QTest::addColumn<uint>("month");
    QTest::addColumn<QString>("name");
    const char* names[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (uint m = 1; m <= 12; ++m)
        QTest::addRow("%u", m) << m << names[m - 1];
    QTest::newRow("0") << 0u << "NA";
    QTest::newRow("13") << 13u << "NA";
    QTest::newRow("max") << 0xFFFFFFFFu << "NA";
}

void TimeStampTest::monthName()
{
    QFETCH(uint, month);
    QFETCH(QString, name);
    QCOMPARE(QString::fromStdString(MonthName(month)), name);
}

void TimeStampTest::caption_data()
{
    QTest::addColumn<uint>("stamp");
    QTest::addColumn<QString>("caption");
    QTest::newRow("epoch") << 0u << "Jan  1, 1970   0:0:0";
    QTest::newRow("no leading zeros") << 3661u << "Jan  1, 1970   1:1:1";
    QTest::newRow("end of first day") << 86399u << "Jan  1, 1970   23:59:59";
    QTest::newRow("end of 1970") << 31535999u << "Dec  31, 1970   23:59:59";
    QTest::newRow("1972 is leap") << 68169600u << "Feb  29, 1972   0:0:0";
    QTest::newRow("2000 is leap") << 951782400u << "Feb  29, 2000   0:0:0";
    QTest::newRow("hex 3A8F1C00") << 0x3A8F1C00u << "Feb  18, 2001   0:49:4";
    QTest::newRow("sample 2024") << 0x65F42328u << "Mar  15, 2024   10:30:0";
    QTest::newRow("signed max") << 2147483647u << "Jan  19, 2038   3:14:7";
    QTest::newRow("unsigned past 2038") << 2147483648u << "Jan  19, 2038   3:14:8";
    QTest::newRow("2100 has no Feb 29") << 4107542400u << "Mar  1, 2100   0:0:0";
    QTest::newRow("Feb 28 2100") << 4107542399u << "Feb  28, 2100   23:59:59";
    QTest::newRow("end of 2100") << 4133980799u << "Dec  31, 2100   23:59:59";
    QTest::newRow("largest stamp") << 4294967295u << "Feb  7, 2106   6:28:15";
}

void TimeStampTest::caption()
{
    QFETCH(uint, stamp);
    QFETCH(QString, caption);
    QCOMPARE(QString::fromStdString(StampCaption(stamp)), caption);
}

void TimeStampTest::agreesWithTheCalendarLibrary()
{
    using namespace std::chrono;
    std::mt19937 random(20240315);
    std::vector<uint32_t> stamps{0, 4294967295u};
    for (int i = 0; i < 20000; ++i)
        stamps.push_back(static_cast<uint32_t>(random()));
    for (uint32_t day = 0; day < 49710; day += 7) // every week of the range, at midnight
        stamps.push_back(day * 86400u);

    for (uint32_t stamp : stamps) {
        const sys_seconds time{seconds{stamp}};
        const sys_days day = floor<days>(time);
        const year_month_day date{day};
        const hh_mm_ss<seconds> clock{time - day};
        const std::string expected = MonthName(unsigned(date.month())) + "  "
            + std::to_string(unsigned(date.day())) + ", " + std::to_string(int(date.year())) + "   "
            + std::to_string(clock.hours().count()) + ":" + std::to_string(clock.minutes().count()) + ":"
            + std::to_string(clock.seconds().count());
        QCOMPARE(StampCaption(stamp), expected);
    }
}

QTEST_APPLESS_MAIN(TimeStampTest)
#include "TimeStampTest.moc"
