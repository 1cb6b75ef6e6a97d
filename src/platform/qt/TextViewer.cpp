#include "platform/qt/TextViewer.h"

#include "platform/qt/WindowPosition.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

namespace kr {

namespace {
constexpr qint64 kBytesPerTick = 20000;
} // namespace

int FindInLines(const QStringList& lines, int from, const QString& what, bool wholeWord, bool matchCase,
                bool down) {
    if (what.isEmpty())
        return -1;
    QRegularExpression::PatternOptions options = QRegularExpression::NoPatternOption;
    if (!matchCase)
        options |= QRegularExpression::CaseInsensitiveOption;
    const QString escaped = QRegularExpression::escape(what);
    const QRegularExpression re(
        wholeWord ? QStringLiteral("(?<![\\w])") + escaped + QStringLiteral("(?![\\w])") : escaped, options);
    const int step = down ? 1 : -1;
    for (int i = from + step; i >= 0 && i < lines.size(); i += step) {
        if (re.match(lines[i]).hasMatch())
            return i;
    }
    return -1;
}

TextViewer::TextViewer(Options options, QString path, Dialogs& dialogs, IniFile positions, QWidget* parent)
    : QDialog(parent)
    , options_(std::move(options))
    , path_(std::move(path))
    , dialogs_(dialogs)
    , positions_(std::move(positions)) {
    setObjectName(options_.procedure);
    setWindowTitle(options_.title);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    list_ = new QListWidget(this);
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    list_->setUniformItemSizes(true);
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("heading"));
    heading_->setFont(list_->font());
    heading_->setTextFormat(Qt::PlainText);
    // Over the first character of the lines: the list's frame and its item margin.
    heading_->setContentsMargins(list_->frameWidth() +
                                     style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list_) + 1,
                                 0, 0, 0);
    heading_->hide();
    layout->addWidget(heading_);
    layout->addWidget(list_);
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setWordWrap(true);
    status_->hide();
    layout->addWidget(status_);
    auto* row = new QHBoxLayout;
    auto* printButton = new QPushButton(QStringLiteral("&Print"));
    auto* findButton = new QPushButton(QStringLiteral("&Find..."));
    auto* nextButton = new QPushButton(QStringLiteral("Find Next"));
    auto* closeButton = new QPushButton(QStringLiteral("&Close"));
    for (auto* b : {printButton, findButton, nextButton, closeButton})
        row->addWidget(b);
    layout->addLayout(row);
    resize(820, 480);
    connect(printButton, &QPushButton::clicked, this, [this] {
        QPrinter printer;
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() == QDialog::Accepted)
            print(printer);
    });
    connect(findButton, &QPushButton::clicked, this, &TextViewer::showFindWindow);
    connect(nextButton, &QPushButton::clicked, this, &TextViewer::findNext);
    connect(closeButton, &QPushButton::clicked, this, &TextViewer::close);
    timer_ = new QTimer(this);
    timer_->setInterval(0);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!loadStep())
            timer_->stop();
    });
    RestoreWindowPosition(*this, options_.procedure, positions_);
}

TextViewer::~TextViewer() = default;

void TextViewer::open() {
    const QString name = QFileInfo(path_).fileName();
    file_.setFileName(path_);
    if (!file_.open(QIODevice::ReadOnly)) {
        const bool missing = !QFileInfo::exists(path_);
        if (missing && !missingNote_.isEmpty()) {
            status_->setText(missingNote_);
            status_->show();
            return;
        }
        if (!options_.reportLoadErrors)
            return;
        const int number = missing ? 2 : 5;
        const QString text = missing ? QStringLiteral("File Not Found") : QStringLiteral("Access Denied");
        dialogs_.message(QStringLiteral("Please note this errorcode:  ") + QString::number(number) +
                             QStringLiteral("; ") + text,
                         QStringLiteral("View Log"), Dialogs::Icon::Exclamation);
        dialogs_.message(name + QStringLiteral(" File Load Error.  ") + QStringLiteral("Error: ") + text +
                             QLatin1Char('.'),
                         QStringLiteral("File Load Error"), Dialogs::Icon::Exclamation);
        return;
    }
    size_ = file_.size();
    if (size_ == 0) {
        file_.close();
        if (!options_.reportLoadErrors)
            return;
        dialogs_.message(name + QStringLiteral(" File Load Error.  ") +
                             QStringLiteral("The file you've requested contains no text."),
                         QStringLiteral("File Load Error"), Dialogs::Icon::Exclamation);
        return;
    }
    progress_ = std::make_unique<QtProgress>(&dialogs_, this);
    progress_->begin(QStringLiteral("Reading File"), QString());
    progress_->setCancelQuestion(QStringLiteral("Are you certain you want to stop loading ") + name +
                                     QLatin1Char('?'),
                                 QStringLiteral("Cancel Request"));
    timer_->start();
}

bool TextViewer::loadStep() {
    if (!file_.isOpen())
        return false;
    qint64 thisTick = 0;
    QStringList fresh;
    while (thisTick < kBytesPerTick && !file_.atEnd()) {
        const QByteArray raw = file_.readLine();
        thisTick += raw.size();
        QString line = QString::fromLocal8Bit(raw);
        while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        fresh << line.left(255);
    }
    read_ += thisTick;
    lines_ += fresh;
    list_->addItems(fresh);
    const int percent = size_ > 0 ? static_cast<int>(qMin<qint64>(100, read_ * 100 / size_)) : 100;
    percent_ = percent;
    if (progress_)
        progress_->update(percent);
    if (file_.atEnd() || (progress_ && progress_->cancelled())) {
        finishLoading();
        return false;
    }
    return true;
}

bool TextViewer::cancelLoading() {
    if (!file_.isOpen())
        return true;
    const QString name = QFileInfo(path_).fileName();
    if (dialogs_.message(QStringLiteral("Are you certain you want to stop loading ") + name +
                             QLatin1Char('?'),
                         QStringLiteral("Cancel Request"), Dialogs::Icon::Question,
                         Dialogs::Ok | Dialogs::Cancel, Dialogs::Ok) != Dialogs::Ok)
        return false;
    finishLoading();
    return true;
}

void TextViewer::finishLoading() {
    timer_->stop();
    file_.close();
    if (progress_) {
        progress_->end();
        progress_.reset();
    }
    if (list_->count() > 0 && list_->currentRow() < 0)
        list_->setCurrentRow(0);
}

QString TextViewer::statusText() const {
    return status_->isHidden() ? QString() : status_->text();
}

void TextViewer::setColumns(const std::vector<Column>& columns) {
    QString heading;
    for (const Column& c : columns)
        heading += c.title.leftJustified(c.width, QLatin1Char(' '), true);
    heading_->setText(heading.trimmed());
    heading_->setVisible(!columns.empty());
}

QString TextViewer::headingText() const {
    return heading_->isHidden() ? QString() : heading_->text();
}

int TextViewer::currentLine() const {
    return list_->currentRow();
}

void TextViewer::setCurrentLine(int line) {
    list_->setCurrentRow(line);
}

void TextViewer::setSearch(const QString& what, bool wholeWord, bool matchCase, bool down) {
    what_ = what.left(20);
    wholeWord_ = wholeWord;
    matchCase_ = matchCase;
    down_ = down;
}

bool TextViewer::findNext() {
    if (what_.isEmpty())
        return false;
    int found = FindInLines(lines_, currentLine(), what_, wholeWord_, matchCase_, down_);
    if (found < 0) {
        const bool again =
            down_ ? dialogs_.message(
                        QStringLiteral("The end of the viewed file was encountered.  Do you want to start "
                                       "again from the beginning?"),
                        QStringLiteral("End of File Error"), Dialogs::Icon::Question,
                        Dialogs::Yes | Dialogs::No, Dialogs::Yes) == Dialogs::Yes
                  : dialogs_.message(
                        QStringLiteral("The beginning of the viewed file was encountered.  Do you want "
                                       "to start again from the end of the file?"),
                        QStringLiteral("Beginning of File Error"), Dialogs::Icon::Question,
                        Dialogs::Yes | Dialogs::No, Dialogs::Yes) == Dialogs::Yes;
        if (!again)
            return false;
        found = FindInLines(lines_, down_ ? -1 : static_cast<int>(lines_.size()), what_, wholeWord_,
                            matchCase_, down_);
        if (found < 0)
            return false;
    }
    setCurrentLine(found);
    return true;
}

void TextViewer::buildFindWindow() {
    find_ = new QDialog(this);
    find_->setWindowTitle(QStringLiteral("Searching Text..."));
    auto* layout = new QVBoxLayout(find_);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Find What:")));
    findWhat_ = new QLineEdit;
    findWhat_->setMaxLength(20);
    row->addWidget(findWhat_);
    layout->addLayout(row);
    findWhole_ = new QCheckBox(QStringLiteral("Match &Whole Word Only"));
    findCase_ = new QCheckBox(QStringLiteral("Match &Case"));
    layout->addWidget(findWhole_);
    layout->addWidget(findCase_);
    auto* direction = new QGroupBox(QStringLiteral("Direction"));
    auto* dirLayout = new QHBoxLayout(direction);
    findUp_ = new QRadioButton(QStringLiteral("Up"));
    findDown_ = new QRadioButton(QStringLiteral("Down"));
    findDown_->setChecked(true);
    dirLayout->addWidget(findUp_);
    dirLayout->addWidget(findDown_);
    layout->addWidget(direction);
    auto* buttons = new QHBoxLayout;
    auto* findButton = new QPushButton(QStringLiteral("Find"));
    findButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"));
    buttons->addWidget(findButton);
    buttons->addWidget(cancelButton);
    layout->addLayout(buttons);
    connect(findButton, &QPushButton::clicked, find_, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, find_, &QDialog::reject);
}

void TextViewer::showFindWindow() {
    if (find_ == nullptr)
        buildFindWindow();
    findWhat_->setText(what_);
    if (find_->exec() != QDialog::Accepted)
        return;
    setSearch(findWhat_->text(), findWhole_->isChecked(), findCase_->isChecked(), findDown_->isChecked());
    findNext();
}

void TextViewer::print(QPrinter& printer) const {
    QTextDocument doc;
    doc.setDefaultFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QString text;
    for (const QString& l : lines_)
        text += l + QLatin1Char('\n');
    doc.setPlainText(text);
    doc.print(&printer);
}

void TextViewer::closeEvent(QCloseEvent* event) {
    finishLoading();
    SaveWindowPosition(*this, options_.procedure, positions_);
    QDialog::closeEvent(event);
}

} // namespace kr
