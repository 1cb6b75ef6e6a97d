#pragma once

#include <QString>

namespace kr {

// Error numbers of the table operations; callers test them at once.
enum class Err : int {
    None = 0,
    FileNotFound = 2,
    IsLocked = 32,       // the file is locked by another station
    NoMoreRecords = 33,  // Next/Previous ran off the end
    RecordNotFound = 35, // Get found nothing
    InvalidFile = 36,    // not a data file of ours (or not readable under our password)
    DuplicateKey = 40,   // a unique key would be duplicated
    KeysInvalid = 46,    // the keys must be rebuilt
    LayoutDiffers = 47,  // the file holds an older (or other) layout of the table
    AlreadyOpen = 52,
    TransactionActive = 56,
    FileDamaged = 88,
    RecordChanged = 89, // another station wrote the record since it was read (Watch)
    StorageError = 90,  // the storage layer failed; its own text and code tell why
};

// An error number with the storage layer's own text and code, for the messages.
struct StoreError {
    Err code = Err::None;
    QString driverText;
    int driverCode = 0;

    bool ok() const { return code == Err::None; }
    int number() const { return static_cast<int>(code); }
    // The program's text for the number.
    QString text() const;
    // "text (number)"; for a storage error the storage layer's own text and code.
    QString describe() const;
};

QString ErrorText(Err code);

} // namespace kr
