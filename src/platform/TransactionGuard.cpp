#include "platform/TransactionGuard.h"

#include <QCoreApplication>
#include <QtGlobal>

#include <atomic>

namespace kr {

namespace {

std::atomic<int> gOpen{0};

void DefaultHandler(const char* what) {
#ifdef QT_DEBUG
    qFatal("%s was asked for while a transaction is open", what);
#else
    qWarning("%s was asked for while a transaction is open", what);
#endif
}

std::atomic<TransactionGuardHandler> gHandler{&DefaultHandler};

} // namespace

void OpenTransactions::opened() {
    ++gOpen;
}

void OpenTransactions::closed() {
    --gOpen;
}

int OpenTransactions::count() {
    return gOpen.load();
}

TransactionGuardHandler SetTransactionGuardHandler(TransactionGuardHandler handler) {
    return gHandler.exchange(handler != nullptr ? handler : &DefaultHandler);
}

void RefuseInsideTransaction(const char* what) {
    if (gOpen.load() > 0)
        gHandler.load()(what);
}

void ProcessEvents(QEventLoop::ProcessEventsFlags flags) {
    RefuseInsideTransaction("processEvents");
    QCoreApplication::processEvents(flags);
}

int RunEventLoop(QEventLoop& loop) {
    RefuseInsideTransaction("an event loop");
    return loop.exec();
}

} // namespace kr
