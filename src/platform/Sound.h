#pragma once

#include <QString>

namespace kr {

// The alarm sounds: the desktop's beep, and a sound file played without waiting for it.
class Sound {
public:
    virtual ~Sound() = default;
    virtual void beep() = 0;
    virtual void play(const QString& file) = 0;
};

} // namespace kr
