#include "script/Values.h"

#include "platform/DateTime.h"
#include "platform/Pictures.h"
#include "platform/Text.h"
#include "store/Settings.h"

#include <cmath>
#include <variant>

namespace kr {

namespace {

// A small recursive-descent evaluator over constants.
class Expression {
public:
    explicit Expression(const QString& text)
        : s_(text) {}

    std::optional<QString> evaluate() {
        auto v = concatenation();
        skip();
        if (!v || pos_ != s_.size())
            return std::nullopt;
        return show(*v);
    }

private:
    using Value = std::variant<double, QString>;

    static QString show(const Value& v) {
        if (const auto* t = std::get_if<QString>(&v))
            return *t;
        const double d = std::get<double>(v);
        if (std::isnan(d) || std::isinf(d))
            return QString();
        if (d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(static_cast<qint64>(d));
        QString text = QString::number(d, 'f', 6);
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
        return text;
    }
    void skip() {
        while (pos_ < s_.size() && s_.at(pos_).isSpace())
            ++pos_;
    }
    bool eat(QChar c) {
        skip();
        if (pos_ < s_.size() && s_.at(pos_) == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    // Texts join with &.
    std::optional<Value> concatenation() {
        auto left = sum();
        while (left && eat(QLatin1Char('&'))) {
            auto right = sum();
            if (!right)
                return std::nullopt;
            left = show(*left) + show(*right);
        }
        return left;
    }
    std::optional<Value> sum() {
        auto left = product();
        for (;;) {
            if (!left)
                return std::nullopt;
            if (eat(QLatin1Char('+'))) {
                auto right = product();
                if (!right)
                    return std::nullopt;
                if (std::holds_alternative<double>(*left) && std::holds_alternative<double>(*right))
                    left = std::get<double>(*left) + std::get<double>(*right);
                else
                    left = show(*left) + show(*right);
            } else if (eat(QLatin1Char('-'))) {
                auto right = product();
                if (!right || !std::holds_alternative<double>(*left) ||
                    !std::holds_alternative<double>(*right))
                    return std::nullopt;
                left = std::get<double>(*left) - std::get<double>(*right);
            } else {
                return left;
            }
        }
    }
    std::optional<Value> product() {
        auto left = unary();
        for (;;) {
            if (!left)
                return std::nullopt;
            const bool times = eat(QLatin1Char('*'));
            if (!times && !eat(QLatin1Char('/')))
                return left;
            auto right = unary();
            if (!right || !std::holds_alternative<double>(*left) || !std::holds_alternative<double>(*right))
                return std::nullopt;
            const double r = std::get<double>(*right);
            if (!times && r == 0)
                return std::nullopt;
            left = times ? std::get<double>(*left) * r : std::get<double>(*left) / r;
        }
    }
    std::optional<Value> unary() {
        // Every nesting passes here; deeper than any value can be written is no expression
        // (and would only exhaust the stack).
        if (depth_ >= kMaxDepth)
            return std::nullopt;
        ++depth_;
        auto v = signedValue();
        --depth_;
        return v;
    }
    std::optional<Value> signedValue() {
        if (eat(QLatin1Char('-'))) {
            auto v = unary();
            if (!v || !std::holds_alternative<double>(*v))
                return std::nullopt;
            return -std::get<double>(*v);
        }
        if (eat(QLatin1Char('+')))
            return unary();
        return primary();
    }
    std::optional<Value> primary() {
        skip();
        if (pos_ >= s_.size())
            return std::nullopt;
        const QChar c = s_.at(pos_);
        if (c == QLatin1Char('(')) {
            ++pos_;
            auto v = concatenation();
            if (!v || !eat(QLatin1Char(')')))
                return std::nullopt;
            return v;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A quoted text; the quote doubled stands for itself.
            QString text;
            ++pos_;
            for (;;) {
                if (pos_ >= s_.size())
                    return std::nullopt;
                if (s_.at(pos_) == c) {
                    if (pos_ + 1 < s_.size() && s_.at(pos_ + 1) == c) {
                        text += c;
                        pos_ += 2;
                        continue;
                    }
                    ++pos_;
                    return Value(text);
                }
                text += s_.at(pos_++);
            }
        }
        const qsizetype start = pos_;
        while (pos_ < s_.size() && (s_.at(pos_).isDigit() || s_.at(pos_) == QLatin1Char('.')))
            ++pos_;
        bool ok = false;
        const double d = s_.mid(start, pos_ - start).toDouble(&ok);
        if (!ok)
            return std::nullopt;
        return Value(d);
    }

    static constexpr int kMaxDepth = 300;

    QString s_;
    qsizetype pos_ = 0;
    int depth_ = 0;
};

// A text read as a number with two decimals; 0 when it is not a number.
double AsNumber(const QString& text) {
    bool ok = false;
    const double d = text.trimmed().toDouble(&ok);
    return ok ? std::round(d * 100.0) / 100.0 : 0.0;
}

} // namespace

std::optional<QString> EvaluateExpression(const QString& expression) {
    if (expression.trimmed().isEmpty())
        return std::nullopt;
    return Expression(expression).evaluate();
}

ValueStore::ValueStore(const Clock& clock, std::function<QString()> dateFormat,
                       std::function<QString()> focus)
    : clock_(clock)
    , dateFormat_(std::move(dateFormat))
    , focus_(std::move(focus)) {}

bool ValueStore::isNumericName(const QString& name) {
    const QString n = Clip(name).toUpper();
    return n == QStringLiteral("FILEEXISTS") || n == QStringLiteral("FILESIZE") ||
           n == QStringLiteral("FILEDATE") || n == QStringLiteral("DATE") ||
           n == QStringLiteral("FILETIME") || n == QStringLiteral("TIME") || n.contains(QLatin1Char('#'));
}

QString ValueStore::getValue(const QString& name) const {
    const QString n = Clip(name).toUpper().left(kNameWidth);
    if (n == QStringLiteral("DATE"))
        return DateKeyText(clock_.today());
    if (n == QStringLiteral("TODAY")) {
        return FormatDate(clock_.today(), dateFormat_ ? dateFormat_() : QStringLiteral("d3"));
    }
    if (n == QStringLiteral("TIME"))
        return FormatTimeAs(clock_.now(), QStringLiteral("t5"));
    if (n == QStringLiteral("NOW"))
        return FormatTimeAs(clock_.now(), QStringLiteral("t7"));
    if (n == QStringLiteral("FOCUS"))
        return focus_ ? focus_().left(253) : QString();
    auto it = values_.find(n);
    return it == values_.end() ? QString() : Clip(it->second);
}

QString ValueStore::substituteValues(const QString& text) const {
    const QString t = Clip(text.left(kValueWidth));
    QString out;
    qsizetype i = 0;
    while (i < t.size()) {
        if (t.at(i) != QLatin1Char('[')) {
            out += t.at(i++);
            continue;
        }
        QString candidate = t.mid(i + 1, kNameWidth);
        const qsizetype close = candidate.indexOf(QLatin1Char(']'));
        const bool closed = close >= 0;
        if (closed)
            candidate.truncate(close);
        const QString value = getValue(candidate);
        if (value.isEmpty()) {
            out += QLatin1Char('[');
            ++i;
            continue;
        }
        out += Clip(value);
        i += 1 + candidate.size() + (closed ? 1 : 0);
    }
    return Clip(out.left(kValueWidth));
}

void ValueStore::setValue(const QString& name, const QString& value) {
    QString v = substituteValues(value);
    if (v.startsWith(QLatin1Char('='))) {
        if (auto result = EvaluateExpression(v.mid(1)))
            v = *result;
    }
    values_[Clip(name).toUpper().left(kNameWidth)] = v.left(kValueWidth);
}

bool ValueStore::testValue(const QString& name, const QString& op, const QString& operand) const {
    const bool numericName = isNumericName(name);
    const QString left = getValue(name);
    const double leftNumber = AsNumber(left);
    const QString right = operand.startsWith(QLatin1Char('[')) ? substituteValues(operand) : operand;
    const double rightNumber = AsNumber(right);
    const bool numeric = leftNumber != 0 || rightNumber != 0 || numericName;
    int c = 0;
    if (numeric) {
        c = leftNumber < rightNumber ? -1 : leftNumber > rightNumber ? 1 : 0;
    } else {
        const QString a = Clip(left.left(kValueWidth));
        const QString b = Clip(right.left(kValueWidth));
        c = a < b ? -1 : a > b ? 1 : 0;
    }
    const QString o = Clip(op).trimmed();
    if (o == QStringLiteral("="))
        return c == 0;
    if (o == QStringLiteral("<="))
        return c <= 0;
    if (o == QStringLiteral("<"))
        return c < 0;
    if (o == QStringLiteral("=>"))
        return c >= 0;
    if (o == QStringLiteral(">"))
        return c > 0;
    if (o == QStringLiteral("<>"))
        return c != 0;
    return false;
}

} // namespace kr
