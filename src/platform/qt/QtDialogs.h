#pragma once

#include "platform/Dialogs.h"

namespace kr {

// Real message boxes.
class QtDialogs final : public Dialogs {
public:
    Button show(const QString& text, const QString& caption, Icon icon, unsigned buttons,
                Button defaultButton) override;
};

} // namespace kr
