#pragma once

// Named values: kept for the life of the program, set and tested by scripts, and written
// into texts as "[NAME]".

#include "platform/Clock.h"

#include <QString>

#include <functional>
#include <map>
#include <optional>

namespace kr {

// Evaluates the expression language after "=" in a Set Value: numbers with + - * / and
// parentheses, quoted texts joined with & (or +). nullopt when the text is not an expression.
std::optional<QString> EvaluateExpression(const QString& expression);

class ValueStore {
public:
    static constexpr int kNameWidth = 32;
    static constexpr int kValueWidth = 255;

    // `dateFormat` is the DateFormat setting as it stands when a value is read; `focus`
    // gives the text of the window that has the focus in this program.
    ValueStore(const Clock& clock, std::function<QString()> dateFormat, std::function<QString()> focus = {});

    QString getValue(const QString& name) const;
    void setValue(const QString& name, const QString& value);
    QString substituteValues(const QString& text) const;
    bool testValue(const QString& name, const QString& op, const QString& operand) const;

    // Whether comparisons of the name are numeric whatever its value.
    static bool isNumericName(const QString& name);
    std::size_t size() const { return values_.size(); }

private:
    const Clock& clock_;
    std::function<QString()> dateFormat_;
    std::function<QString()> focus_;
    std::map<QString, QString> values_; // by upper-case name
};

} // namespace kr
