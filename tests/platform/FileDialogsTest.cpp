#include "platform/qt/QtFileDialogs.h"

#include <gtest/gtest.h>

namespace kr::test {
namespace {

TEST(FileDialogFilters, PairsBecomeNamedFiltersThatIgnoreLetterCase) {
    EXPECT_EQ(QtFileDialogs::NameFilters(QStringLiteral("WAV Files|*.WAV")),
              QStringList{QStringLiteral("WAV Files (*.WAV *.wav)")});
    EXPECT_EQ(QtFileDialogs::NameFilters(QStringLiteral("All Files|*.*|EXEs|*.EXE|Scripts|*.txt;*.Kr")),
              (QStringList{QStringLiteral("All Files (*)"), QStringLiteral("EXEs (*.EXE *.exe)"),
                           QStringLiteral("Scripts (*.txt *.TXT *.Kr *.kr *.KR)")}));
    // A description without patterns is dropped.
    EXPECT_EQ(QtFileDialogs::NameFilters(QStringLiteral("Text|*.txt|Orphan")),
              QStringList{QStringLiteral("Text (*.txt *.TXT)")});
}

} // namespace
} // namespace kr::test
