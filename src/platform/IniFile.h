#pragma once

#include <QString>
#include <QStringList>

namespace kr {

// An INI file as the desktop the program came from knows them: sections and entries are found
// without regard to letter case, values are text, and every read and write goes to the file
// itself, so that several windows and processes see each other's changes.
class IniFile {
public:
    explicit IniFile(QString path)
        : path_(std::move(path)) {}

    const QString& path() const { return path_; }

    // The entry's value with surrounding blanks removed, or the default when the section or
    // the entry is missing.
    QString read(const QString& section, const QString& entry, const QString& defaultValue = {}) const;
    int readInt(const QString& section, const QString& entry, int defaultValue = 0) const;
    // Writes the entry, creating the file and the section when needed. Returns false when the
    // file could not be written.
    bool write(const QString& section, const QString& entry, const QString& value) const;

private:
    QStringList lines() const;
    QString path_;
};

} // namespace kr
