// Another program on the X display that owns the clipboard for the tests. Commands on standard
// input, one a line, texts as hexadecimal UTF-8:
//   offer <hex>   take the clipboard with the text
//   secret <hex>  the same, marked as a password manager marks a copied password
//   big <n>       take the clipboard with a text of n characters (letters a to z in turn)
//   print         print the clipboard's text (as hexadecimal) as this program reads it
// A test that wants an owner that never answers stops this program (SIGSTOP) after an offer.
// Each command is answered with one line.

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buffer, static_cast<qsizetype>(n));
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            const qsizetype space = line.indexOf(' ');
            const QByteArray command = space < 0 ? line : line.left(space);
            const QString text =
                QString::fromUtf8(QByteArray::fromHex(space < 0 ? QByteArray() : line.mid(space + 1)));
            QByteArray answer = "ok";
            if (command == "offer" || command == "secret" || command == "big") {
                auto* data = new QMimeData;
                if (command == "big") {
                    QString big(text.toLongLong(), QLatin1Char('a'));
                    for (qsizetype i = 0; i < big.size(); ++i)
                        big[i] = QChar(static_cast<char16_t>(u'a' + i % 26));
                    data->setText(big);
                } else {
                    data->setText(text);
                }
                if (command == "secret")
                    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
                QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
            } else if (command == "print") {
                answer = QGuiApplication::clipboard()->text(QClipboard::Clipboard).toUtf8().toHex();
            }
            std::printf("%s\n", answer.constData());
            std::fflush(stdout);
        }
    });
    return QGuiApplication::exec();
}
