#pragma once

#include "platform/Progress.h"

#include <QPointer>

class QDialog;
class QWidget;

namespace kr {

class Dialogs;
class ProgressWindow;

// A progress window that shows itself only for runs that take a while. Cancel, Esc and the
// window's close button all ask the cancel question when one is set (through `dialogs`).
class QtProgress final : public Progress {
public:
    explicit QtProgress(Dialogs* dialogs = nullptr, QWidget* parent = nullptr);
    ~QtProgress() override;
    void doBegin(const QString& title, const QString& text) override;
    void doUpdate(int percent) override;
    bool cancelled() const override;
    void end() override;
    void doSetText(const QString& text) override;
    void setCancelQuestion(const QString& text, const QString& caption) override;
    void setCancelQuestionYesNo(const QString& text, const QString& caption) override;

    // The window while a run is going on, for tests; null otherwise.
    QDialog* window() const;
    // Shows the window at once instead of after half a second.
    void showNow();

private:
    friend class ProgressWindow;
    // Cancel pressed: asks, and either stops the run or lets it go on.
    void cancelRequested();
    void relabel();

    Dialogs* dialogs_;
    QWidget* parent_;
    QPointer<ProgressWindow> window_;
    QString text_;
    QString question_;
    QString questionCaption_;
    int percent_ = -1;
    bool cancelled_ = false;
    bool asking_ = false;
    bool yesNo_ = false; // the question is answered Yes or No, No the default
    qint64 started_ = 0;
};

// The program's progress windows: every run gets a window of its own over `parent`, its
// cancel question asked through `dialogs`.
ProgressWindows QtProgressWindows(Dialogs* dialogs, QWidget* parent);

} // namespace kr
