#include "store/Errors.h"

namespace kr {

QString ErrorText(Err code) {
    switch (code) {
    case Err::None:
        return QStringLiteral("No Error");
    case Err::FileNotFound:
        return QStringLiteral("File Not Found");
    case Err::IsLocked:
        return QStringLiteral("File Is Already Locked");
    case Err::NoMoreRecords:
        return QStringLiteral("Record Not Available");
    case Err::RecordNotFound:
        return QStringLiteral("Record Not Found");
    case Err::InvalidFile:
        return QStringLiteral("Invalid Data File");
    case Err::DuplicateKey:
        return QStringLiteral("Creates Duplicate Key");
    case Err::KeysInvalid:
        return QStringLiteral("Keys Must Be Rebuilt");
    case Err::LayoutDiffers:
        return QStringLiteral("Invalid Record Declaration");
    case Err::AlreadyOpen:
        return QStringLiteral("File Already Open");
    case Err::TransactionActive:
        return QStringLiteral("Transaction Already Active");
    case Err::FileDamaged:
        return QStringLiteral("Data File Is Damaged");
    case Err::RecordChanged:
        return QStringLiteral("Record Changed By Another Station");
    case Err::StorageError:
        return QStringLiteral("File System Error");
    }
    return QStringLiteral("Unknown Error");
}

QString StoreError::text() const {
    return ErrorText(code);
}

QString StoreError::describe() const {
    if (code == Err::StorageError && !driverText.isEmpty())
        return driverText + QStringLiteral(" (") + QString::number(driverCode) + QLatin1Char(')');
    return text() + QStringLiteral(" (") + QString::number(number()) + QLatin1Char(')');
}

} // namespace kr
