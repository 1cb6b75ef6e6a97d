#include "platform/qt/QtFileDialogs.h"

#include <QFileDialog>

namespace kr {

QStringList QtFileDialogs::NameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            if (pattern == QStringLiteral("*.*")) {
                patterns << QStringLiteral("*");
                continue;
            }
            // File names on this system keep their letter case; offer both spellings.
            for (const QString& spelling : {pattern, pattern.toLower(), pattern.toUpper()})
                if (!patterns.contains(spelling))
                    patterns << spelling;
        }
        out << parts[i].trimmed() + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return out;
}

QString QtFileDialogs::doOpenFile(const QString& title, const QString& filter, const QString& directory) {
    QFileDialog dialog(parent_, title, directory);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFilters(filter));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().first()
               : QString();
}

QString QtFileDialogs::doSaveFile(const QString& title, const QString& filter, const QString& directory) {
    QFileDialog dialog(parent_, title, directory);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(NameFilters(filter));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()
               ? dialog.selectedFiles().first()
               : QString();
}

} // namespace kr
