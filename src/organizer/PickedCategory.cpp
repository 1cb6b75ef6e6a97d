#include "organizer/PickedCategory.h"

#include "platform/Text.h"

namespace kr {

PickedCategory& PickedCategory::schedule() {
    static PickedCategory picked;
    return picked;
}

PickedCategory& PickedCategory::contact() {
    static PickedCategory picked;
    return picked;
}

void PickedCategory::set(const QString& category) {
    const QString clipped = Clip(category);
    if (clipped == value_)
        return;
    value_ = clipped;
    Q_EMIT changed(value_);
}

} // namespace kr
