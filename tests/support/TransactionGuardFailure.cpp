// Linked into every test program: a message box, progress step or file dialog asked for while
// a transaction is open fails the test that asked.

#include "platform/TransactionGuard.h"

#include <gtest/gtest.h>

namespace {

void FailTheTest(const char* what) {
    ADD_FAILURE() << what << " was asked for while a transaction is open";
}

const bool kInstalled = (kr::SetTransactionGuardHandler(&FailTheTest), true);

} // namespace
