// Values: Set Value with any text (expressions after "="), the bracket substitution, the
// If Value... test, and the expression evaluator on its own. Input lines: "name=value" lines
// set values; every line is also substituted, evaluated and tested.

#include "script/Values.h"
#include "support/FuzzInput.h"

namespace {

class FixedClock final : public kr::Clock {
public:
    qint32 today() const override { return 82000; }
    qint32 now() const override { return 4500001; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kr;
    static const FixedClock clock;
    const fuzz::Lines in(data, size);
    ValueStore values(
        clock, [&] { return in[0].left(6); }, [&] { return in[1]; });
    for (const QString& line : in.all()) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) {
            const QString name = line.left(eq);
            values.setValue(name, line.mid(eq + 1));
            FUZZ_CHECK(values.getValue(name).size() <= ValueStore::kValueWidth);
        }
    }
    static const QString kOperators[] = {QStringLiteral("="),  QStringLiteral("<="), QStringLiteral("<"),
                                         QStringLiteral("=>"), QStringLiteral(">"),  QStringLiteral("<>")};
    for (const QString& line : in.all()) {
        const QString substituted = values.substituteValues(line);
        FUZZ_CHECK(substituted.size() <= ValueStore::kValueWidth);
        FUZZ_CHECK(substituted == substituted.left(ValueStore::kValueWidth));
        EvaluateExpression(line);
        const QStringList parts = line.split(QLatin1Char(' '));
        const QString name = parts.value(0);
        const QString operand = parts.value(1);
        for (const QString& op : kOperators)
            values.testValue(name, op, operand);
        // Any other operator is false.
        FUZZ_CHECK(!values.testValue(name, parts.value(2) + QStringLiteral("?"), operand));
    }
    return 0;
}
