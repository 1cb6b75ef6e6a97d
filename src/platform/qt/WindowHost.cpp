#include "platform/qt/WindowHost.h"

#include <QApplication>
#include <QDialog>

namespace kr {

bool OpenListWindow(WindowHost* host, QDialog* window) {
    if (host != nullptr && QApplication::activeModalWidget() == nullptr) {
        host->openInFrame(window);
        return true;
    }
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->exec();
    delete window;
    return false;
}

} // namespace kr
