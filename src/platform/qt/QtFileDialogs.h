#pragma once

#include "platform/FileDialogs.h"

#include <QStringList>

class QWidget;

namespace kr {

class QtFileDialogs final : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr)
        : parent_(parent) {}
    QString doOpenFile(const QString& title, const QString& filter, const QString& directory) override;
    QString doSaveFile(const QString& title, const QString& filter, const QString& directory) override;

    // "WAV Files|*.WAV" as the file dialog writes filters: "WAV Files (*.WAV *.wav)".
    static QStringList NameFilters(const QString& filter);

private:
    QWidget* parent_;
};

} // namespace kr
