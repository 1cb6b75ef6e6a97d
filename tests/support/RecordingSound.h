#pragma once

#include "platform/Sound.h"

#include <QStringList>

namespace kr::test {

// Keeps the sounds played instead of playing them: "BEEP" for the beep, else the file.
struct RecordingSound final : Sound {
    QStringList played;
    void beep() override { played << QStringLiteral("BEEP"); }
    void play(const QString& file) override { played << file; }
};

} // namespace kr::test
