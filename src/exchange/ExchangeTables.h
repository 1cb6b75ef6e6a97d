#pragma once

// What the comma-delimited exchange offers of each table: the export fields in their order,
// with the names written in the header line and their default pictures, and the import
// targets. Everything else about a field (type, width, memo) comes from the table's
// declaration.

#include "exchange/Csv.h"
#include "store/Record.h"

#include <QStringList>

#include <optional>
#include <vector>

namespace kr {

struct ExchangeField {
    QString name;    // as written in the header line, e.g. "SCH:TaskType"
    int field = -1;  // in the table's declaration
    QString picture; // default picture
};

struct ExchangeTable {
    const TableDecl* decl = nullptr;
    std::vector<ExchangeField> exportFields;
    std::vector<ExchangeField> targets; // import targets; their pictures are not used
    int exportKey = -1;                 // the order of the export
    int numberField = -1;               // the record number a new record gets, -1 for none

    const FieldDecl& fieldDecl(int field) const { return (*decl->fields)[static_cast<std::size_t>(field)]; }
};

const ExchangeTable& ScheduleExchange();
const ExchangeTable& ContactExchange();
const ExchangeTable& TodoExchange();

// What the character after "@" makes of a picture.
enum class PictureClass { Text, Number, Other };
PictureClass ClassOfPicture(const QString& picture);
// "Alpha-numeric" / "Numeric" / the picture itself, as the export window shows the kind.
QString ExportKindText(const QString& picture);
// "Alpha-num" / "Numeric" / the picture itself, as the import window shows it.
QString ImportKindText(const QString& picture);

// Appends one field of a record to an export line as its picture demands.
void AddExportValue(CsvLine& line, const void* record, const FieldDecl& field, const QString& picture);

// A value read from an import file, converted through its picture once.
struct ImportValue {
    QString text;
    std::optional<qint64> number; // set when a date or time picture read it
};
ImportValue ConvertImportText(const QString& text, const QString& picture);
// Stores a value into a target: texts cut to the field's width, memos to their size, numbers
// read from the text and kept within what the program writes into the field (0 when
// unreadable).
void StoreImportValue(void* record, const FieldDecl& field, const ImportValue& value);
// A number read from a text: integers, or decimals cut to their whole part; 0 when unreadable.
qint64 NumberFromText(const QString& text);

} // namespace kr
