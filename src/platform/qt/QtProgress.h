#pragma once

#include "platform/Progress.h"

#include <memory>

class QProgressDialog;

namespace kr {

// A progress window that shows itself only for runs that take a while.
class QtProgress final : public Progress {
public:
    QtProgress();
    ~QtProgress() override;
    void begin(const QString& title, const QString& text) override;
    void update(int percent) override;
    bool cancelled() const override;
    void end() override;

private:
    std::unique_ptr<QProgressDialog> dialog_;
    QString text_;
    int percent_ = -1;
};

} // namespace kr
