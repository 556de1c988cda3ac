#include "olevariant.h"

#include "common/datetime.h"
#include "office/automation/automationerror.h"
#include "office/automation/dispatch.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace velmora {

namespace {

constexpr qint64 kCurrencyScale = 10000;

[[noreturn]] void mismatch(OleVariant::Kind from, const char* to) {
    throw AutomationError(
        QStringLiteral("cannot convert a value of kind %1 to %2").arg(OleVariant::kindName(from), QLatin1String(to)),
        AutomationFault::TypeMismatch);
}

// The shortest text that reads back as the same number, as a person would write it ("0.35", not
// "0.34999999").
template <typename T>
QString shortestText(T value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

QString currencyText(qint64 units) {
    const bool negative = units < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(units) : quint64(units);
    QString text = QString::number(magnitude / kCurrencyScale);
    const quint64 fraction = magnitude % kCurrencyScale;
    if (fraction != 0) {
        QString digits = QStringLiteral("%1").arg(fraction, 4, 10, QLatin1Char('0'));
        while (digits.endsWith(QLatin1Char('0'))) {
            digits.chop(1);
        }
        text += QLatin1Char('.') + digits;
    }
    return negative ? QLatin1Char('-') + text : text;
}

// Automation clients round half to even when they narrow a floating value to an integer.
int roundToInt(double value, OleVariant::Kind from) {
    if (!std::isfinite(value)) {
        mismatch(from, "int");
    }
    const double rounded = std::nearbyint(value);
    if (rounded < double(std::numeric_limits<int>::min()) || rounded > double(std::numeric_limits<int>::max())) {
        mismatch(from, "int");
    }
    return int(rounded);
}

} // namespace

OleVariant::OleVariant(bool value) : m_kind(Kind::Bool), m_bool(value) {}
OleVariant::OleVariant(int value) : m_kind(Kind::Int), m_int(value) {}
OleVariant::OleVariant(float value) : m_kind(Kind::Single), m_single(value) {}
OleVariant::OleVariant(double value) : m_kind(Kind::Double), m_double(value) {}
OleVariant::OleVariant(const QString& value) : m_kind(Kind::Text), m_text(value) {}
OleVariant::OleVariant(const char* value) : m_kind(Kind::Text), m_text(QString::fromUtf8(value)) {}

OleVariant::OleVariant(std::shared_ptr<Dispatch> object) {
    if (object) {
        m_kind = Kind::Object;
        m_object = std::move(object);
    }
}

OleVariant OleVariant::missing() {
    OleVariant value;
    value.m_kind = Kind::Missing;
    return value;
}

OleVariant OleVariant::currency(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9.2e14) {
        mismatch(Kind::Double, "currency");
    }
    return currencyUnits(std::llround(value * double(kCurrencyScale)));
}

OleVariant OleVariant::currencyUnits(qint64 tenThousandths) {
    OleVariant value;
    value.m_kind = Kind::Currency;
    value.m_currency = tenThousandths;
    return value;
}

OleVariant OleVariant::date(double days) {
    OleVariant value;
    value.m_kind = Kind::Date;
    value.m_double = days;
    return value;
}

OleVariant OleVariant::dateTime(const QDateTime& dateTime) {
    return date(DateTimeToDays(dateTime));
}

OleVariant OleVariant::byRef() const {
    OleVariant value = *this;
    value.m_byRef = true;
    return value;
}

OleVariant OleVariant::byValue() const {
    OleVariant value = *this;
    value.m_byRef = false;
    return value;
}

bool OleVariant::toBool() const {
    switch (m_kind) {
    case Kind::Empty:
        return false;
    case Kind::Bool:
        return m_bool;
    case Kind::Int:
        return m_int != 0;
    case Kind::Single:
        return m_single != 0;
    case Kind::Double:
    case Kind::Date:
        return m_double != 0;
    case Kind::Currency:
        return m_currency != 0;
    case Kind::Text: {
        const QString text = m_text.trimmed();
        if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) {
            return true;
        }
        if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) {
            return false;
        }
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (!ok) {
            mismatch(m_kind, "bool");
        }
        return number != 0;
    }
    case Kind::Object:
        return get(QString()).toBool();
    case Kind::Missing:
        break;
    }
    mismatch(m_kind, "bool");
}

int OleVariant::toInt() const {
    switch (m_kind) {
    case Kind::Empty:
        return 0;
    case Kind::Bool:
        return m_bool ? -1 : 0;
    case Kind::Int:
        return m_int;
    case Kind::Single:
        return roundToInt(m_single, m_kind);
    case Kind::Double:
    case Kind::Date:
        return roundToInt(m_double, m_kind);
    case Kind::Currency:
        return roundToInt(double(m_currency) / double(kCurrencyScale), m_kind);
    case Kind::Text: {
        bool ok = false;
        const QString text = m_text.trimmed();
        const int number = text.toInt(&ok);
        if (ok) {
            return number;
        }
        const double real = text.toDouble(&ok);
        if (!ok) {
            mismatch(m_kind, "int");
        }
        return roundToInt(real, m_kind);
    }
    case Kind::Object:
        return get(QString()).toInt();
    case Kind::Missing:
        break;
    }
    mismatch(m_kind, "int");
}

double OleVariant::toDouble() const {
    switch (m_kind) {
    case Kind::Empty:
        return 0;
    case Kind::Bool:
        return m_bool ? -1 : 0;
    case Kind::Int:
        return m_int;
    case Kind::Single:
        return m_single;
    case Kind::Double:
    case Kind::Date:
        return m_double;
    case Kind::Currency:
        return double(m_currency) / double(kCurrencyScale);
    case Kind::Text: {
        bool ok = false;
        const double number = m_text.trimmed().toDouble(&ok);
        if (!ok) {
            mismatch(m_kind, "double");
        }
        return number;
    }
    case Kind::Object:
        return get(QString()).toDouble();
    case Kind::Missing:
        break;
    }
    mismatch(m_kind, "double");
}

qint64 OleVariant::toCurrencyUnits() const {
    if (m_kind == Kind::Currency) {
        return m_currency;
    }
    return currency(toDouble()).m_currency;
}

QString OleVariant::toString() const {
    switch (m_kind) {
    case Kind::Empty:
    case Kind::Missing:
        return QString();
    case Kind::Bool:
        return m_bool ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Int:
        return QString::number(m_int);
    case Kind::Single:
        return shortestText(m_single);
    case Kind::Double:
        return shortestText(m_double);
    case Kind::Currency:
        return currencyText(m_currency);
    case Kind::Text:
        return m_text;
    case Kind::Date: {
        const QDateTime dateTime = DaysToDateTime(m_double);
        if (!dateTime.isValid()) {
            mismatch(m_kind, "text");
        }
        if (dateTime.time().msecsSinceStartOfDay() == 0) {
            return dateTime.toString(QStringLiteral("yyyy-MM-dd"));
        }
        return dateTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    case Kind::Object:
        return get(QString()).toString();
    }
    return QString();
}

QDateTime OleVariant::toDateTime() const {
    if (m_kind == Kind::Object) {
        return get(QString()).toDateTime();
    }
    if (m_kind == Kind::Text) {
        const QDateTime parsed = QDateTime::fromString(m_text.trimmed(), Qt::ISODate);
        if (!parsed.isValid()) {
            mismatch(m_kind, "date");
        }
        return parsed;
    }
    const QDateTime dateTime = DaysToDateTime(toDouble());
    if (!dateTime.isValid()) {
        mismatch(m_kind, "date");
    }
    return dateTime;
}

std::shared_ptr<Dispatch> OleVariant::toObject() const {
    if (m_kind != Kind::Object) {
        throw AutomationError(QStringLiteral("a value of kind %1 is not an object").arg(kindName(m_kind)),
                              AutomationFault::NotAnObject);
    }
    return m_object;
}

QString OleVariant::kindName(Kind kind) {
    switch (kind) {
    case Kind::Empty:
        return QStringLiteral("empty");
    case Kind::Missing:
        return QStringLiteral("missing");
    case Kind::Bool:
        return QStringLiteral("bool");
    case Kind::Int:
        return QStringLiteral("int");
    case Kind::Single:
        return QStringLiteral("single");
    case Kind::Double:
        return QStringLiteral("double");
    case Kind::Currency:
        return QStringLiteral("cur");
    case Kind::Text:
        return QStringLiteral("text");
    case Kind::Date:
        return QStringLiteral("date");
    case Kind::Object:
        return QStringLiteral("obj");
    }
    return QString();
}

QString OleVariant::describe() const {
    QString text;
    switch (m_kind) {
    case Kind::Empty:
    case Kind::Missing:
    case Kind::Object:
        text = kindName(m_kind);
        break;
    case Kind::Bool:
        text = m_bool ? QStringLiteral("bool:true") : QStringLiteral("bool:false");
        break;
    case Kind::Text:
        text = QLatin1Char('"') + m_text + QLatin1Char('"');
        break;
    case Kind::Date:
        text = QStringLiteral("date:") + shortestText(m_double);
        break;
    default:
        text = kindName(m_kind) + QLatin1Char(':') + toString();
        break;
    }
    return m_byRef ? QLatin1Char('&') + text : text;
}

OleVariant OleVariant::get(const QString& member, const OleArgs& index) const {
    return toObject()->getProperty(member, index);
}

void OleVariant::put(const QString& member, const OleVariant& value) const {
    toObject()->putProperty(member, {}, value);
}

void OleVariant::put(const QString& member, const OleArgs& index, const OleVariant& value) const {
    toObject()->putProperty(member, index, value);
}

OleVariant OleVariant::call(const QString& member, const OleArgs& args) const {
    return toObject()->callMethod(member, args, {});
}

OleVariant OleVariant::call(const QString& member, const OleArgs& args, const OleNamedArgs& named) const {
    return toObject()->callMethod(member, args, named);
}

bool operator==(const OleVariant& a, const OleVariant& b) {
    if (a.m_kind != b.m_kind) {
        return false;
    }
    switch (a.m_kind) {
    case OleVariant::Kind::Empty:
    case OleVariant::Kind::Missing:
        return true;
    case OleVariant::Kind::Bool:
        return a.m_bool == b.m_bool;
    case OleVariant::Kind::Int:
        return a.m_int == b.m_int;
    case OleVariant::Kind::Single:
        return a.m_single == b.m_single;
    case OleVariant::Kind::Double:
    case OleVariant::Kind::Date:
        return a.m_double == b.m_double;
    case OleVariant::Kind::Currency:
        return a.m_currency == b.m_currency;
    case OleVariant::Kind::Text:
        return a.m_text == b.m_text;
    case OleVariant::Kind::Object:
        return a.m_object == b.m_object;
    }
    return false;
}

} // namespace velmora
