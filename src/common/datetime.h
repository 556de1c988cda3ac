#pragma once

#include <QDateTime>

namespace velmora {

// Record times are days since 1899-12-30 00:00 local time, the fraction being the time of day. For negative
// values the whole part counts days back and the fraction still runs forward from midnight.
double DateTimeToDays(const QDateTime& dateTime);
QDateTime DaysToDateTime(double days);
// The program's clock: the system's, unless the environment variable VELMORA_TEST_CLOCK holds a local date-time
// (ISO 8601); then that instant plus the time since the first reading. Tests fix it so that nothing they compare
// with "today" moves when a run crosses midnight.
QDateTime CurrentDateTime();
double NowAsDays();

// The time of day of a day value, in milliseconds since midnight.
qint64 TimeOfDayMs(double days);

} // namespace velmora
