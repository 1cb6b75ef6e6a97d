#pragma once

#include "platform/Sound.h"

#include <memory>

class QSoundEffect;

namespace kr {

// Plays WAV files on the default audio output; without an output device nothing is played
// and nothing fails.
class QtSound final : public Sound {
public:
    QtSound();
    ~QtSound() override;
    void beep() override;
    void play(const QString& file) override;

private:
    std::unique_ptr<QSoundEffect> effect_;
};

} // namespace kr
