#pragma once

// Script files: one comma-delimited line per item, the action's name followed by five fields
// whose meaning depends on the action.

#include "store/Errors.h"
#include "store/Tables.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <optional>

namespace kr {

// The exchange record: a type of 20 characters and five fields of 80.
struct ExchangeRecord {
    QString type;
    QString fields[5];
};

// The comma-delimited line of a record, every value quoted, inner quotes doubled.
QString FormatExchangeLine(const ExchangeRecord& record);
// Reads a line back; quoted values end at the next quote that is not doubled, plain ones at
// the next comma. Values are cut to their widths.
ExchangeRecord ParseExchangeLine(const QString& line);

// Splits a comma-delimited line into its values (also used by the table import).
QStringList SplitDelimited(const QString& line);
// Quotes a value for a comma-delimited line.
QString QuoteDelimited(const QString& value);

// Whether the action has a line form in script files.
bool HasFileForm(const QString& action);
// The item as a file record; nullopt for an action without a line form.
std::optional<ExchangeRecord> ItemToRecord(const Scripting& item);
// The record's fields into an item whose other fields stay as they are; false for a type
// without a line form (the item's action is set all the same).
bool RecordToItem(const ExchangeRecord& record, Scripting& item);

// How the bytes of a script file are read as text. A file written by an older installation
// is Windows-1252, one of this program UTF-8; as in the comma-delimited import, the whole file
// decides.
enum class ScriptEncoding {
    Utf8,        // the whole file is valid UTF-8
    Windows1252, // it is not
    EachLine,    // not known (a device that cannot be read ahead): each line decides alone
};
// Reads the file through once for its encoding; EachLine when it cannot be read.
ScriptEncoding ScriptFileEncoding(const QString& path);

// The most bytes of one line that are read; the rest of a longer line is passed over.
inline constexpr qsizetype kMaxScriptLineBytes = 64 * 1024;

// The next line of a script file without its line end (LF, CR LF or CR), blank lines passed
// over, a UTF-8 byte-order mark at the start of the file too; nullopt at the end of the file or
// at a read error, which ScriptReadFailed tells apart. Open the file without QIODevice::Text,
// which drops bare CRs.
std::optional<QString> NextScriptLine(QIODevice& file, ScriptEncoding encoding = ScriptEncoding::EachLine);
// Whether the lines ended because the file could not be read any further.
bool ScriptReadFailed(const QIODevice& file);
// The read error, for the file-error message.
StoreError ScriptReadError(const QIODevice& file);
// Why a script file could not be opened, for the file-error message.
StoreError FileOpenError(const QFile& file);

} // namespace kr
