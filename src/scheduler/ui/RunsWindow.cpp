#include "scheduler/ui/RunsWindow.h"

#include "platform/Pictures.h"
#include "platform/Text.h"
#include "platform/qt/TextViewer.h"
#include "platform/qt/WindowPosition.h"
#include "scheduler/ui/ScheduleList.h"
#include "store/RunRecords.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace kr {

namespace {

const QString kProcedure = QStringLiteral("ViewRuns");
// The kept output is at most 1 MiB and a marked cut; anything larger is not one of ours.
constexpr qint64 kOutputLimit = 2 * 1024 * 1024;

enum Column { DueColumn, StartColumn, DurationColumn, ResultColumn, StationColumn };

} // namespace

QString DurationText(qint64 ms) {
    if (ms < 0)
        return {};
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    if (ms < 60000)
        return QStringLiteral("%1 s").arg(static_cast<double>(ms) / 1000.0, 0, 'f', 1);
    const qint64 s = ms / 1000;
    if (s < 3600)
        return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg(s % 3600 / 60);
}

RunsWindow::RunsWindow(RunsWindowContext ctx, qint32 taskId, const QString& description, QWidget* parent)
    : QDialog(parent)
    , ctx_(std::move(ctx))
    , taskId_(taskId) {
    setObjectName(kProcedure);
    setWindowFlag(Qt::WindowMinMaxButtonsHint);
    setWindowTitle(QStringLiteral("Runs - ") + (description.isEmpty() ? QString::number(taskId) : description));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget;
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setAllColumnsShowFocus(true);
    list_->setHeaderLabels({QStringLiteral("Due"), QStringLiteral("Started"), QStringLiteral("Duration"),
                            QStringLiteral("Result"), QStringLiteral("Station")});
    list_->header()->resizeSection(DueColumn, 150);
    list_->header()->resizeSection(StartColumn, 150);
    list_->header()->resizeSection(DurationColumn, 90);
    list_->header()->resizeSection(ResultColumn, 260);
    layout->addWidget(list_, 1);
    note_ = new QLabel;
    layout->addWidget(note_);

    auto* row = new QHBoxLayout;
    output_ = new QPushButton(QStringLiteral("&Output"));
    copy_ = new QPushButton(QStringLiteral("Copy"));
    copy_->setToolTip(QStringLiteral("Copy the run's output to the clipboard"));
    auto* again = new QPushButton(QStringLiteral("R&efresh"));
    auto* close = new QPushButton(QStringLiteral("&Close"));
    for (QPushButton* b : {output_, copy_, again, close})
        b->setAutoDefault(false);
    row->addWidget(output_);
    row->addWidget(copy_);
    row->addWidget(again);
    row->addStretch();
    row->addWidget(close);
    layout->addLayout(row);
    connect(output_, &QPushButton::clicked, this, &RunsWindow::showOutput);
    connect(copy_, &QPushButton::clicked, this, &RunsWindow::copyOutput);
    connect(again, &QPushButton::clicked, this, [this] { refresh(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(list_, &QTreeWidget::currentItemChanged, this, [this] { updateButtons(); });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { showOutput(); });

    resize(820, 420);
    RestoreWindowPosition(*this, kProcedure, ctx_.positions);
    refresh();
}

RunsWindow::~RunsWindow() = default;

bool RunsWindow::refresh() {
    RunQuery query;
    query.task = taskId_;
    query.limit = kShown + 1;
    StoreError error;
    std::vector<Runs> found;
    const bool read = ReadRuns(ctx_.store, query, found, &error);
    list_->clear();
    runs_.clear();
    if (!read) {
        note_->setText(QStringLiteral("The runs cannot be read: ") + error.describe());
        updateButtons();
        return false;
    }
    const bool more = found.size() > static_cast<std::size_t>(kShown);
    if (more)
        found.resize(kShown);
    runs_ = std::move(found);
    auto moment = [this](qint32 date, qint32 time) {
        return date == 0 ? QString()
                         : FormatDateAs(date, ctx_.datePicture) + QLatin1Char(' ') +
                               FormatTimeAs(time, QStringLiteral("t3"));
    };
    QList<QTreeWidgetItem*> items;
    for (const Runs& r : runs_) {
        auto* item = new QTreeWidgetItem;
        item->setText(DueColumn, moment(r.dueDate, r.dueTime));
        item->setText(StartColumn, Clip(r.result) == run::kSkipped ? QString() : moment(r.startDate, r.startTime));
        item->setText(DurationColumn, DurationText(RunDurationMs(r)));
        const LastResult how = LastResultOf(r);
        item->setText(ResultColumn, RunResultText(r));
        item->setToolTip(ResultColumn, RunResultText(r));
        if (how != LastResult::None)
            item->setIcon(ResultColumn, LastResultIcon(how));
        if (how == LastResult::Failed)
            item->setForeground(ResultColumn, QColor(190, 0, 0));
        item->setText(StationColumn, Clip(r.station));
        items << item;
    }
    list_->addTopLevelItems(items);
    if (!items.isEmpty())
        list_->setCurrentItem(items.front());
    note_->setText(runs_.empty() ? QStringLiteral("The task has not run yet.")
                   : more        ? QStringLiteral("The newest %1 runs.").arg(kShown)
                                 : QStringLiteral("%1 run(s).").arg(runs_.size()));
    updateButtons();
    return true;
}

const Runs* RunsWindow::current() const {
    const int i = list_->indexOfTopLevelItem(list_->currentItem());
    return i >= 0 && i < static_cast<int>(runs_.size()) ? &runs_[static_cast<std::size_t>(i)] : nullptr;
}

QString RunsWindow::outputPath(const Runs& r) const {
    const QString name = QFileInfo(Clip(r.output)).fileName();
    if (name.isEmpty())
        return {};
    return QDir(ctx_.store.workDir()).filePath(QStringLiteral("runs/") + name);
}

void RunsWindow::updateButtons() {
    const Runs* r = current();
    const bool has = r != nullptr && !outputPath(*r).isEmpty();
    output_->setEnabled(has);
    copy_->setEnabled(has);
}

void RunsWindow::showOutput() {
    const Runs* r = current();
    if (r == nullptr || outputPath(*r).isEmpty())
        return;
    auto* viewer = new TextViewer({QStringLiteral("Output of Run %1").arg(r->run), QStringLiteral("ViewRunOutput"), true},
                                  outputPath(*r), ctx_.dialogs, ctx_.positions, this);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    viewer->show();
    viewer->open();
}

void RunsWindow::copyOutput() {
    const Runs* r = current();
    if (r == nullptr || outputPath(*r).isEmpty())
        return;
    QFile f(outputPath(*r));
    if (!f.open(QIODevice::ReadOnly)) {
        ctx_.dialogs.message(QStringLiteral("The output of run %1 cannot be read: %2").arg(r->run).arg(f.errorString()),
                             QStringLiteral("Copy"), Dialogs::Icon::Exclamation);
        return;
    }
    const QByteArray bytes = f.read(kOutputLimit);
    QGuiApplication::clipboard()->setText(QString::fromUtf8(bytes));
}

void RunsWindow::done(int result) {
    SaveWindowPosition(*this, kProcedure, ctx_.positions);
    QDialog::done(result);
}

} // namespace kr
