#include "platform/Progress.h"

namespace kr {

namespace {

// A run's handle on the one progress all runs share.
class LentProgress final : public Progress {
public:
    explicit LentProgress(Progress& to)
        : to_(to) {}
    bool cancelled() const override { return to_.cancelled(); }
    void end() override { to_.end(); }
    void setCancelQuestion(const QString& text, const QString& caption) override {
        to_.setCancelQuestion(text, caption);
    }
    void setCancelQuestionYesNo(const QString& text, const QString& caption) override {
        to_.setCancelQuestionYesNo(text, caption);
    }

protected:
    void doBegin(const QString& title, const QString& text) override { to_.begin(title, text); }
    void doUpdate(int percent) override { to_.update(percent); }
    void doSetText(const QString& text) override { to_.setText(text); }

private:
    Progress& to_;
};

} // namespace

ProgressWindows::ProgressWindows(Progress& one)
    : make_([&one]() -> std::unique_ptr<Progress> { return std::make_unique<LentProgress>(one); }) {}

ProgressWindows::ProgressWindows(Progress* one) {
    if (one != nullptr)
        make_ = [one]() -> std::unique_ptr<Progress> { return std::make_unique<LentProgress>(*one); };
}

std::unique_ptr<Progress> ProgressWindows::open() const {
    if (make_) {
        if (std::unique_ptr<Progress> p = make_())
            return p;
    }
    return std::make_unique<NoProgress>();
}

} // namespace kr
