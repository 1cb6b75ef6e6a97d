#pragma once

// The bus name under which the program for one data folder answers: one running program per
// user and data folder, another folder another program.

#include <QString>

namespace kr {

inline const QString kProgramObjectPath = QStringLiteral("/org/kelvray/Kelvray");
inline const QString kProgramInterface = QStringLiteral("org.kelvray.Kelvray1");

// The error names the program answers with.
inline const QString kErrorNotFound = QStringLiteral("org.kelvray.Error.NotFound");
inline const QString kErrorChangedByAnother = QStringLiteral("org.kelvray.Error.ChangedByAnother");
inline const QString kErrorInvalidArgument = QStringLiteral("org.kelvray.Error.InvalidArgument");
inline const QString kErrorFailed = QStringLiteral("org.kelvray.Error.Failed");

// "org.kelvray.Kelvray.d" and a hash of the folder's canonical path: the same folder reached
// through a link or a relative path gives the same name.
QString InstanceBusName(const QString& dataDir);

} // namespace kr
