#include "platform/Clock.h"

#include "platform/DateTime.h"

#include <QDateTime>

namespace kr {

qint32 SystemClock::today() const {
    return FromQDate(QDate::currentDate());
}

qint32 SystemClock::now() const {
    return FromQTime(QTime::currentTime());
}

} // namespace kr
