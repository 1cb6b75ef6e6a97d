#include "platform/qt/OutsideClose.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <cstring>
#include <vector>

namespace kr {

namespace {

// The X protocol's DestroyNotify event: 1-byte type, the event window at byte 4 and the
// destroyed window at byte 8 (xcb_destroy_notify_event_t).
constexpr std::uint8_t kDestroyNotify = 17;

class DestroyWatch final : public QAbstractNativeEventFilter {
public:
    static DestroyWatch& instance() {
        static DestroyWatch* watch = [] {
            auto* w = new DestroyWatch;
            QCoreApplication::instance()->installNativeEventFilter(w);
            return w;
        }();
        return *watch;
    }

    void add(QDialog* form) {
        prune();
        forms_.emplace_back(form);
    }

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t" || message == nullptr)
            return false;
        const auto* bytes = static_cast<const std::uint8_t*>(message);
        if ((bytes[0] & 0x7f) != kDestroyNotify)
            return false;
        std::uint32_t window = 0;
        std::memcpy(&window, bytes + 8, sizeof window);
        for (const QPointer<QDialog>& form : forms_) {
            // Only a form still shown on the window it was shown on: a window the toolkit
            // destroyed itself belongs to a form that is hidden or has another window now.
            if (form.isNull() || !form->isVisible() || form->internalWinId() != window)
                continue;
            QPointer<QDialog> target = form;
            QTimer::singleShot(0, form, [target] {
                if (!target.isNull() && target->isVisible())
                    target->reject();
            });
        }
        return false;
    }

private:
    void prune() {
        std::erase_if(forms_, [](const QPointer<QDialog>& f) { return f.isNull(); });
    }

    std::vector<QPointer<QDialog>> forms_;
};

} // namespace

void CancelWhenDestroyedFromOutside(QDialog* form) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        return;
    DestroyWatch::instance().add(form);
}

} // namespace kr
