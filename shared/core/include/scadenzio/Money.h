#pragma once

#include "scadenzio/Export.h"

#include <QMetaType>
#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

namespace sz {

// An amount of euro, exact to the ten-thousandth like the register's currency
// columns. Sums of many amounts must not drift, so no floating point inside.
class SZ_CORE_EXPORT Money
{
public:
    static constexpr std::int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromRaw(std::int64_t tenThousandths)
    {
        Money m;
        m.m_raw = tenThousandths;
        return m;
    }
    static constexpr Money fromCents(std::int64_t cents) { return fromRaw(cents * 100); }
    // Rounds half away from zero to the ten-thousandth.
    static Money fromDouble(double euro);

    // Accepts "1234,5", "1.234,56", "€ 1.234,56", "-12", "1234.56" (a lone full stop
    // followed by one or two digits is read as decimal point). Empty text is no value.
    static std::optional<Money> parse(const QString& text);

    constexpr std::int64_t raw() const { return m_raw; }
    double toDouble() const { return double(m_raw) / double(Scale); }
    constexpr bool isZero() const { return m_raw == 0; }

    // "€ 1.234,56": the amount as every list and letter shows it.
    QString toDisplay() const;
    // "1.234,56" without the currency sign, for editors.
    QString toPlain(int decimals = 2) const;
    // "1234.5600": exact text for machines (the command-line tool, logs).
    QString toMachine() const;

    // Sums and differences beyond what an amount holds (about 922 thousand billion
    // euro) throw sz::Error rather than wrap around to a wrong, even negative, total.
    Money operator+(Money o) const
    {
        std::int64_t r;
        if (__builtin_add_overflow(m_raw, o.m_raw, &r))
            overflow();
        return fromRaw(r);
    }
    Money operator-(Money o) const
    {
        std::int64_t r;
        if (__builtin_sub_overflow(m_raw, o.m_raw, &r))
            overflow();
        return fromRaw(r);
    }
    Money operator-() const { return Money() - *this; }
    // What the user reads when a sum does not fit.
    static QString overflowMessage();
    Money& operator+=(Money o) { return *this = *this + o; }
    Money& operator-=(Money o) { return *this = *this - o; }
    constexpr auto operator<=>(const Money&) const = default;

private:
    [[noreturn]] static void overflow();
    std::int64_t m_raw = 0;
};

// The text of a formatted amount column ("€ 1.234,56", made by FORMAT in a list query)
// held as the amount it shows. A list of 100,000 credits carries four such columns;
// as text they were a string allocation each. It converts to exactly the text it was
// read from, so everything that reads it as text sees no difference.
struct SZ_CORE_EXPORT FormattedAmount
{
    Money amount;
    QString text() const { return amount.toDisplay(); }
    // Reads UTF-8 text only when it is exactly what toDisplay() writes for some amount
    // (so that text() gives it back unchanged); anything else stays text.
    static std::optional<FormattedAmount> fromDisplay(const char* utf8, int length);
    bool operator==(const FormattedAmount& o) const { return amount == o.amount; }
};

} // namespace sz

Q_DECLARE_METATYPE(sz::Money)
Q_DECLARE_METATYPE(sz::FormattedAmount)
