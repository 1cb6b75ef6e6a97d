#pragma once

#include <QString>

namespace kr {

// A progress window for long runs: a title, a text and a percentage; the user may cancel.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void begin(const QString& title, const QString& text) = 0;
    virtual void update(int percent) = 0;
    virtual bool cancelled() const = 0;
    virtual void end() = 0;
};

// No window at all.
class NoProgress final : public Progress {
public:
    void begin(const QString&, const QString&) override {}
    void update(int) override {}
    bool cancelled() const override { return false; }
    void end() override {}
};

} // namespace kr
