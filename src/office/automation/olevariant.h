#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>

namespace velmora {

class Dispatch;
class OleVariant;
struct NamedArg;

using OleArgs = QList<OleVariant>;
using OleNamedArgs = QList<NamedArg>;

// One value passed to or returned by an automation server. Servers are told the exact kind of every value,
// because office programs treat an integer, a single, a double and a fixed-point currency differently (a
// currency 2.5 for a spacing is not the same request as a single 2.5 that went through float rounding).
class OleVariant {
public:
    enum class Kind {
        Empty,    // no value: what a property that was never set yields
        Missing,  // an optional argument left out; the server applies its own default
        Bool,     // sent as the automation Boolean, true being -1
        Int,      // 32-bit signed integer
        Single,   // 32-bit float
        Double,   // 64-bit float
        Currency, // fixed point with four decimals, held as ten-thousandths
        Text,     // UTF-16 text
        Date,     // days since 1899-12-30 local time, the fraction being the time of day
        Object,   // a reference to an automation object
    };

    OleVariant() = default;
    OleVariant(bool value);
    OleVariant(int value);
    OleVariant(float value);
    OleVariant(double value);
    OleVariant(const QString& value);
    OleVariant(const char* value);
    OleVariant(std::shared_ptr<Dispatch> object);
    // Any other pointer would silently become a Boolean.
    OleVariant(const void*) = delete;

    static OleVariant missing();
    static OleVariant currency(double value);
    static OleVariant currencyUnits(qint64 tenThousandths);
    static OleVariant date(double days);
    static OleVariant dateTime(const QDateTime& dateTime);

    // The same value marked as passed by reference. Office programs accept both ways; the flag travels with
    // the value so that a server (or a test) sees the call exactly as it was made.
    OleVariant byRef() const;
    OleVariant byValue() const;
    bool isByRef() const { return m_byRef; }

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Kind::Empty; }
    bool isMissing() const { return m_kind == Kind::Missing; }
    bool isObject() const { return m_kind == Kind::Object; }

    // Conversions as an automation client expects them. An object converts through its default member, so these
    // may call the server. A value that does not convert raises AutomationError (TypeMismatch).
    bool toBool() const;
    int toInt() const;
    double toDouble() const;
    qint64 toCurrencyUnits() const;
    QString toString() const;
    QDateTime toDateTime() const;
    // The object held; raises AutomationError (NotAnObject) for any other kind.
    std::shared_ptr<Dispatch> toObject() const;

    // The kind and the value in one short readable text, such as int:7, cur:2.5, "text" or &bool:false for a
    // value passed by reference. Objects show as obj.
    QString describe() const;
    static QString kindName(Kind kind);

    // Members of the object held, each call going to the server. They raise AutomationError (NotAnObject)
    // when no object is held. An empty member name addresses the default member.
    OleVariant get(const QString& member, const OleArgs& index = {}) const;
    void put(const QString& member, const OleVariant& value) const;
    void put(const QString& member, const OleArgs& index, const OleVariant& value) const;
    OleVariant call(const QString& member, const OleArgs& args = {}) const;
    OleVariant call(const QString& member, const OleArgs& args, const OleNamedArgs& named) const;

    // Same kind and value; objects compare by identity. The by-reference flag is not part of the value.
    friend bool operator==(const OleVariant& a, const OleVariant& b);

private:
    Kind m_kind = Kind::Empty;
    bool m_byRef = false;
    bool m_bool = false;
    int m_int = 0;
    float m_single = 0;
    double m_double = 0; // also the date
    qint64 m_currency = 0;
    QString m_text;
    std::shared_ptr<Dispatch> m_object;
};

struct NamedArg {
    QString name;
    OleVariant value;
};

} // namespace velmora
