// Reading a typed size: the user's own number format first, then the plain
// "1.5" form, whatever the locale.
#include "search/SizeField.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace {

constexpr double kUnitFactor = 1024.0;

std::optional<double> readNumber(const QString &text)
{
    const QString t = text.trimmed();
    bool ok = false;
    double v = QLocale::system().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

std::optional<int64_t> SizeToBytes(TSizeField &field)
{
    const std::optional<double> read = readNumber(field.text);
    if (!read)
        return std::nullopt;
    double v = *read;
    int steps = int(field.unit);
    if (v != std::trunc(v) && steps > 0) {
        v *= kUnitFactor;
        --steps;
        field.unit = SizeUnit(steps);
    }
    // 2^63 as a double: the first value that no longer fits.
    constexpr double kPastInt64 = 9223372036854775808.0;
    v = std::trunc(v);
    const int64_t n = v >= kPastInt64 ? std::numeric_limits<int64_t>::max()
                      : v <= -kPastInt64 ? std::numeric_limits<int64_t>::min()
                                         : int64_t(v);
    field.text = QString::number(n);
    int64_t bytes = n;
    for (int i = 0; i < steps; ++i) {
        if (__builtin_mul_overflow(bytes, int64_t(kUnitFactor), &bytes))
            return n < 0 ? std::numeric_limits<int64_t>::min() : std::numeric_limits<int64_t>::max();
    }
    return bytes;
}
