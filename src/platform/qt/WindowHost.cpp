#include "platform/qt/WindowHost.h"

#include <QApplication>
#include <QDialog>

namespace kr {

void OpenListWindow(WindowHost* host, QDialog* window) {
    if (host != nullptr && QApplication::activeModalWidget() == nullptr) {
        host->openInFrame(window);
        return;
    }
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    window->exec();
    delete window;
}

} // namespace kr
