#pragma once

// A window that another program (or the window manager) destroys is not closed: the toolkit
// keeps it "open" with nothing on the screen, and a modal form would wait for ever. The
// watch turns such a destruction into the form's Cancel.

#include <QDialog>

namespace kr {

// From now on, when the X window of `form` is destroyed by another client while the form is
// shown, the form is rejected (its Cancel runs). Without an X display this does nothing.
void CancelWhenDestroyedFromOutside(QDialog* form);

} // namespace kr
