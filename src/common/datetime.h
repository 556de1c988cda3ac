#pragma once

#include <QDateTime>

namespace velmora {

// Record times are days since 1899-12-30 00:00 local time, the fraction being the time of day. For negative
// values the whole part counts days back and the fraction still runs forward from midnight.
double DateTimeToDays(const QDateTime& dateTime);
QDateTime DaysToDateTime(double days);
double NowAsDays();

// The time of day of a day value, in milliseconds since midnight.
qint64 TimeOfDayMs(double days);

} // namespace velmora
