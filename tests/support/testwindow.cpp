// A window of another program for the desktop tests.
//   testwindow --title TEXT [--button TEXT]... [--output FILE]
// It has a text field that takes the focus; with --output, whatever is in the field is
// written to FILE whenever it changes, and "closed" is appended when the window closes.

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {

class Window final : public QWidget {
public:
    explicit Window(QString output)
        : output_(std::move(output)) {}
    void write(const QString& text) {
        if (output_.isEmpty())
            return;
        QFile f(output_);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(text.toUtf8());
    }

protected:
    void closeEvent(QCloseEvent* e) override {
        if (!output_.isEmpty()) {
            QFile f(output_);
            if (f.open(QIODevice::Append))
                f.write("\nclosed");
        }
        e->accept();
    }

private:
    QString output_;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QString title = QStringLiteral("Test Window");
    QString output;
    QStringList buttons;
    const QStringList args = QApplication::arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QStringLiteral("--title"))
            title = args[++i];
        else if (args[i] == QStringLiteral("--button"))
            buttons << args[++i];
        else if (args[i] == QStringLiteral("--output"))
            output = args[++i];
    }
    Window w(output);
    w.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&w);
    auto* field = new QLineEdit;
    field->setObjectName(QStringLiteral("field"));
    layout->addWidget(field);
    for (const QString& b : buttons)
        layout->addWidget(new QPushButton(b));
    QObject::connect(field, &QLineEdit::textChanged, &w, [&w](const QString& t) { w.write(t); });
    QObject::connect(field, &QLineEdit::returnPressed, &w,
                     [&w, field] { w.write(field->text() + QStringLiteral("[Enter]")); });
    w.resize(360, 160);
    w.show();
    field->setFocus();
    return QApplication::exec();
}
