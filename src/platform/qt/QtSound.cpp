#include "platform/qt/QtSound.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace kr {

QtSound::QtSound() = default;

QtSound::~QtSound() = default;

void QtSound::beep() {
    QApplication::beep();
}

void QtSound::play(const QString& file) {
    // With no audio output the effect claims to play; there is simply nothing to do.
    if (QMediaDevices::audioOutputs().isEmpty() || !QFileInfo::exists(file))
        return;
    effect_ = std::make_unique<QSoundEffect>();
    effect_->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    effect_->play();
}

} // namespace kr
