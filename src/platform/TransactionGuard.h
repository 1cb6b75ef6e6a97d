#pragma once

#include <QEventLoop>

// No event loop may run while a transaction is open on the store: a message box, a progress
// step or a file dialog lets the frame's timer tick, and the tick's own writes would then join
// the open transaction on the shared connection while other stations wait for its lock. The
// store counts its open transactions here; every seam that can run an event loop refuses to
// while one is open.

namespace kr {

class OpenTransactions {
public:
    static void opened();
    static void closed();
    static int count();
};

// What happens when an event loop is asked for inside a transaction: the default stops a
// debug build at once and writes a warning in a release build; tests install a handler that
// fails the test.
using TransactionGuardHandler = void (*)(const char* what);
TransactionGuardHandler SetTransactionGuardHandler(TransactionGuardHandler handler);

// Called first by every seam that may run an event loop; `what` names it ("a message box").
void RefuseInsideTransaction(const char* what);

// The program's only ways of letting queued events run from inside its own code: both refuse
// while a transaction is open, as the seams do.
void ProcessEvents(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
int RunEventLoop(QEventLoop& loop);

} // namespace kr
