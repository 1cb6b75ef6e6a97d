#pragma once

// Writing a table to a comma-delimited file and reading such a file back into it. The windows
// choose the fields and pictures; these routines do the work, 25 records at a time between
// looks at the progress window.

#include "exchange/ExchangeTables.h"
#include "platform/Dialogs.h"
#include "platform/Progress.h"

#include <vector>

namespace kr {

class Store;

// Records handled between two looks at the progress window.
inline constexpr int kExchangeBatch = 25;

// "Error #28 - No space left on device".
QString FileErrorText(int error);

// Writes every record of the table in its export order, one line each with the chosen fields
// and pictures, after a header line of the fields' names when asked. A failed write asks
// Abort or Retry. Returns the records written, or -1 when the file could not be made.
qint64 ExportTable(Store& store, Progress& progress, const ExchangeTable& table,
                   const std::vector<ExchangeField>& fields, bool header, const QString& file);

// An import file in memory with the fields found on its first line.
class ImportFile {
public:
    struct Field {
        QString name;    // "Field_1"
        QString picture; // "@S1000", or "@N30.9" when plain on the second line
        QString value;   // in the record shown, first 100 characters
    };

    // Reads the file; false with the message shown ("Cannot OPEN ...") when it cannot be read.
    bool load(const QString& path, Dialogs& dialogs);
    // The bytes of a file already read (tests, fuzzing).
    void setBytes(QByteArray bytes);
    bool empty() const { return bytes_.isEmpty(); }
    qint64 size() const { return bytes_.size(); }
    const QByteArray& bytes() const { return bytes_; }
    // A reader at the start of the file.
    CsvReader reader() const { return CsvReader(bytes_, utf8_); }

    std::vector<Field>& fields() { return fields_; }
    const std::vector<Field>& fields() const { return fields_; }
    // The number of the record shown, from 1.
    int record() const { return record_; }
    // Shows the next record; false at the end of the file (nothing changes then).
    bool next();
    // Whether another record follows the one shown.
    bool hasNext() const;

private:
    void showRecord(CsvReader& reader);

    QByteArray bytes_;
    bool utf8_ = true;
    std::vector<Field> fields_;
    int record_ = 0;
    qsizetype shownEnd_ = 0; // where the record shown ends in the bytes
};

// Which import field feeds each target: -1 for none, else an index into the import fields.
using Assignments = std::vector<int>;

// "A&uto": every unassigned target takes the first import field whose value in the record
// shown equals the target's name; for the schedule the fields so given to dates and times get
// the pictures that read them back.
void AutoAssign(const ExchangeTable& table, std::vector<ImportFile::Field>& fields, Assignments& assigned);

// Adds one record per line (after the header line when `skipHeader`), each line starting from
// an empty record. A record that cannot be added ends the import after its message. Returns
// the records added.
qint64 ImportTable(Store& store, Progress& progress, const ExchangeTable& table, const ImportFile& file,
                   const Assignments& assigned, bool skipHeader);

// Turns lines into records: which targets each import field feeds, worked out once.
class ImportPlan {
public:
    ImportPlan(const ExchangeTable& table, const std::vector<ImportFile::Field>& fields,
               const Assignments& assigned);
    // Fills the record (of the table's record type) from the reader's current record; each
    // value is converted through its picture once, whatever number of targets it feeds.
    void convert(CsvReader& reader, void* record) const;

private:
    const ExchangeTable& table_;
    std::vector<QString> pictures_;
    std::vector<std::vector<int>> feeds_; // per import field, the target fields
};

} // namespace kr
