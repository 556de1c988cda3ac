#include "datetime.h"

#include <QElapsedTimer>

#include <cmath>

namespace velmora {

namespace {

constexpr qint64 kMsPerDay = 86400000;

qint64 epochJulianDay() {
    static const qint64 day = QDate(1899, 12, 30).toJulianDay();
    return day;
}

} // namespace

double DateTimeToDays(const QDateTime& dateTime) {
    const QDateTime local = dateTime.toLocalTime();
    const double days = double(local.date().toJulianDay() - epochJulianDay());
    const double fraction = double(local.time().msecsSinceStartOfDay()) / double(kMsPerDay);
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime DaysToDateTime(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6) {
        return {};
    }
    const double whole = std::trunc(days);
    const qint64 ms = std::llround(std::fabs(days - whole) * double(kMsPerDay));
    QDate date = QDate::fromJulianDay(epochJulianDay() + qint64(whole));
    QTime time = QTime::fromMSecsSinceStartOfDay(int(std::min(ms, kMsPerDay - 1)));
    return QDateTime(date, time);
}

QDateTime CurrentDateTime() {
    struct TestClock {
        QDateTime start;
        QElapsedTimer running;
    };
    static const TestClock* const testClock = []() -> const TestClock* {
        const QDateTime start = QDateTime::fromString(qEnvironmentVariable("VELMORA_TEST_CLOCK"), Qt::ISODate);
        if (!start.isValid()) {
            return nullptr;
        }
        auto* clock = new TestClock{start, {}};
        clock->running.start();
        return clock;
    }();
    if (testClock == nullptr) {
        return QDateTime::currentDateTime();
    }
    return testClock->start.addMSecs(testClock->running.elapsed());
}

double NowAsDays() {
    return DateTimeToDays(CurrentDateTime());
}

qint64 TimeOfDayMs(double days) {
    if (!std::isfinite(days)) {
        return 0;
    }
    return std::llround(std::fabs(days - std::trunc(days)) * double(kMsPerDay));
}

} // namespace velmora
