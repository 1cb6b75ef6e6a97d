// Writes KEYCODES.TXT, the list of key names the user is shown.

#include "script/Keystrokes.h"

#include <QFile>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: keycodes_text FILE\n");
        return 2;
    }
    QFile f(QString::fromLocal8Bit(argv[1]));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Text))
        return 1;
    f.write(kr::KeyCodesText().toUtf8());
    return 0;
}
