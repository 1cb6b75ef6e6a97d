#pragma once

#include "platform/FileDialogs.h"

#include <QStringList>

#include <deque>

namespace kr::test {

// Records every file dialog and answers with the next scripted file name ("" = cancelled).
class ScriptedFileDialogs final : public FileDialogs {
public:
    struct Asked {
        QString title;
        QString filter;
        QString directory;
    };
    QString doOpenFile(const QString& title, const QString& filter, const QString& directory) override {
        return next(title, filter, directory);
    }
    QString doSaveFile(const QString& title, const QString& filter, const QString& directory) override {
        return next(title, filter, directory);
    }
    void answer(const QString& file) { answers.push_back(file); }

    std::vector<Asked> asked;
    std::deque<QString> answers;

private:
    QString next(const QString& title, const QString& filter, const QString& directory) {
        asked.push_back({title, filter, directory});
        if (answers.empty())
            return {};
        QString a = answers.front();
        answers.pop_front();
        return a;
    }
};

} // namespace kr::test
