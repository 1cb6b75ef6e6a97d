#include "scheduler/ui/ScheduleList.h"

#include "platform/Pictures.h"
#include "platform/Text.h"
#include "store/RunRecords.h"
#include "store/Table.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <algorithm>

namespace kr {

namespace {

constexpr std::size_t kPagesKept = 256;

QPixmap DrawIcon(int number) {
    const int size = 32; // drawn large, shown at whatever size the list uses
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(3, 3, size - 6, size - 6);
    switch (number) {
    case 1: { // disabled: a grey circle crossed out
        p.setPen(QPen(QColor(120, 120, 120), 3));
        p.drawEllipse(box);
        p.drawLine(QPointF(box.left() + 5, box.bottom() - 5), QPointF(box.right() - 5, box.top() + 5));
        break;
    }
    case 2: { // done: a green tick
        p.setPen(QPen(QColor(20, 140, 40), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        QPainterPath tick;
        tick.moveTo(box.left() + 2, box.center().y());
        tick.lineTo(box.left() + box.width() * 0.4, box.bottom() - 3);
        tick.lineTo(box.right() - 1, box.top() + 3);
        p.drawPath(tick);
        break;
    }
    case 4: { // skip: two blue arrows over a bar
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 90, 200));
        for (int i = 0; i < 2; ++i) {
            const qreal x = box.left() + i * box.width() * 0.35;
            QPolygonF arrow;
            arrow << QPointF(x, box.top() + 4) << QPointF(x + box.width() * 0.45, box.center().y())
                  << QPointF(x, box.bottom() - 4);
            p.drawPolygon(arrow);
        }
        p.drawRect(QRectF(box.right() - 4, box.top() + 4, 4, box.height() - 8));
        break;
    }
    default: { // not done yet: a clock face
        p.setPen(QPen(QColor(60, 60, 60), 2.5));
        p.setBrush(QColor(255, 255, 240));
        p.drawEllipse(box);
        p.drawLine(box.center(), QPointF(box.center().x(), box.top() + 6));
        p.drawLine(box.center(), QPointF(box.right() - 7, box.center().y()));
        break;
    }
    }
    return pm;
}

} // namespace

int TaskStateIcon(const Schedule& t) {
    if (t.completed == 1)
        return 2;
    if (t.skipNextTime == 1)
        return 4;
    if (t.disabled != 0)
        return 1;
    return 3;
}

QIcon StateIcon(int number) {
    static const QIcon icons[] = {QIcon(DrawIcon(1)), QIcon(DrawIcon(2)), QIcon(DrawIcon(3)),
                                  QIcon(DrawIcon(4))};
    return icons[std::clamp(number, 1, 4) - 1];
}

LastResult LastResultOf(const Runs& r) {
    if (RunFailed(r))
        return LastResult::Failed;
    const QString result = Clip(r.result);
    if (result == run::kSkipped)
        return LastResult::Skipped;
    if (result == run::kStarted || result == run::kRunning)
        return LastResult::Running;
    if (result == run::kUnknown || result == run::kStillRunning ||
        (result == run::kEnded && r.exited == run::EndUnknown))
        return LastResult::Unknown;
    return result.isEmpty() ? LastResult::None : LastResult::Succeeded;
}

QIcon LastResultIcon(LastResult result) {
    auto draw = [](LastResult which) {
        const int size = 32;
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF box(5, 5, size - 10, size - 10);
        switch (which) {
        case LastResult::Succeeded:
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(20, 140, 40));
            p.drawEllipse(box);
            break;
        case LastResult::Failed:
            p.setPen(QPen(QColor(200, 30, 30), 5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(box.topLeft(), box.bottomRight());
            p.drawLine(box.topRight(), box.bottomLeft());
            break;
        case LastResult::Running: {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(30, 90, 200));
            QPolygonF play;
            play << box.topLeft() << QPointF(box.right(), box.center().y()) << box.bottomLeft();
            p.drawPolygon(play);
            break;
        }
        case LastResult::Skipped:
        case LastResult::Unknown:
            p.setPen(QPen(QColor(120, 120, 120), 5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(box.left(), box.center().y()), QPointF(box.right(), box.center().y()));
            break;
        case LastResult::None:
            break;
        }
        return QIcon(pm);
    };
    static const QIcon icons[] = {QIcon(),
                                  draw(LastResult::Succeeded),
                                  draw(LastResult::Failed),
                                  draw(LastResult::Running),
                                  draw(LastResult::Skipped),
                                  draw(LastResult::Unknown)};
    return icons[static_cast<int>(result)];
}

ScheduleListModel::ScheduleListModel(Store& store, QString datePicture, QObject* parent)
    : QAbstractTableModel(parent)
    , store_(store)
    , datePicture_(std::move(datePicture))
    , table_(std::make_unique<Table<Schedule>>(store))
    , runs_(std::make_unique<Table<Runs>>(store)) {
    rebuild();
}

ScheduleListModel::~ScheduleListModel() = default;

void ScheduleListModel::setDatePicture(const QString& picture) {
    datePicture_ = picture;
    if (count_ > 0)
        Q_EMIT dataChanged(index(0, DateColumn), index(rowCount() - 1, DateColumn));
}

void ScheduleListModel::setFilter(Filter filter) {
    beginResetModel();
    filter_ = std::move(filter);
    rebuild();
    endResetModel();
}

void ScheduleListModel::refresh() {
    beginResetModel();
    rebuild();
    endResetModel();
}

void ScheduleListModel::rebuild() {
    using Cond = KeyView::Condition;
    pages_.clear();
    pageIndex_.clear();
    pagesRead_ = 0;
    view_.reset();
    taggedRows_.clear();
    std::vector<Cond> conditions;
    // Active tasks in date order come from the key that puts the enabled tasks first: the
    // history (disabled and done) is never walked through.
    int dateKey = Schedule::KEYDATE;
    if (filter_.activeOnly) {
        dateKey = Schedule::KEYDATEENABLED;
        conditions.push_back({Schedule::DISABLED, Cond::Equal, qint64{0}});
        conditions.push_back({Schedule::COMPLETED, Cond::Zero});
    }
    switch (filter_.view) {
    case ScheduleView::Day:
        conditions.push_back({Schedule::DATE, Cond::Equal, qint64{filter_.day}});
        view_ = std::make_unique<KeyView>(*table_, dateKey, conditions);
        break;
    case ScheduleView::AllByDate:
        view_ = std::make_unique<KeyView>(*table_, dateKey, conditions);
        break;
    case ScheduleView::AllByCategory:
        if (filter_.activeOnly)
            conditions.front().op = Cond::Zero;
        conditions.push_back({Schedule::CATEGORY, Cond::EqualNoCase, Clip(filter_.category)});
        // A task without a category is listed under "(none)" whether or not it has a
        // description (the key itself leaves out a task with neither).
        view_ = std::make_unique<KeyView>(*table_, Schedule::KEYCATEGORY, conditions, true);
        break;
    case ScheduleView::Selected: {
        struct Found {
            Date date;
            Time time;
            qint64 rowid;
        };
        std::vector<Found> found;
        auto take = [&](const Schedule& t) {
            if (!filter_.activeOnly || (t.disabled == 0 && t.completed == 0))
                found.push_back({t.date, t.time, t.meta.rowid});
        };
        // Tasks numbered closely together are read a run at a time in number order, the
        // others one by one; a tagged task since deleted is simply not shown.
        std::vector<qint32> ids = filter_.tagged;
        std::sort(ids.begin(), ids.end());
        ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        constexpr qint32 kRun = 256;
        std::vector<Schedule> run;
        std::size_t i = 0;
        while (i < ids.size()) {
            std::size_t last = i;
            while (last + 1 < ids.size() && ids[last + 1] - ids[i] < kRun)
                ++last;
            Schedule t;
            t.id = ids[i];
            if (last - i + 1 < kRun / 8) {
                if (const Err e = table_->get(Schedule::KEYID, t); e == Err::None)
                    take(t);
                else if (e != Err::RecordNotFound)
                    reportReadError(table_->error());
                ++i;
                continue;
            }
            Err e = table_->set(Schedule::KEYID, t);
            if (e == Err::None)
                e = table_->nextBatch(run, ids[last] - ids[i] + 1);
            if (e != Err::None && e != Err::NoMoreRecords)
                reportReadError(table_->error());
            for (const Schedule& r : run) {
                while (i <= last && ids[i] < r.id)
                    ++i;
                if (i <= last && ids[i] == r.id) {
                    take(r);
                    ++i;
                }
            }
            i = last + 1;
        }
        std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
            return std::tie(a.date, a.time, a.rowid) < std::tie(b.date, b.time, b.rowid);
        });
        for (const Found& f : found)
            taggedRows_.push_back(f.rowid);
        break;
    }
    }
    if (view_) {
        // A large view may first give its last count or an estimate; the exact one comes later.
        view_->onRefined(this, [this] { refresh(); });
        count_ = view_->count();
        if (count_ >= 0)
            readErrorReported_ = false; // readable again: the next failure is news
        if (count_ < 0) {
            reportReadError(view_->error());
            // The filter could not be applied: the whole table in the same order instead.
            if (!conditions.empty()) {
                view_ = std::make_unique<KeyView>(*table_, dateKey);
                count_ = view_->count();
            }
            count_ = std::max<qint64>(0, count_);
        }
    } else {
        count_ = static_cast<qint64>(taggedRows_.size());
    }
}

void ScheduleListModel::reportReadError(const StoreError& error) const {
    if (readErrorReported_)
        return;
    readErrorReported_ = true;
    auto* self = const_cast<ScheduleListModel*>(this);
    QMetaObject::invokeMethod(
        self, [self, error] { Q_EMIT self->readFailed(error); }, Qt::QueuedConnection);
}

const ScheduleListModel::Page* ScheduleListModel::page(int index) const {
    const auto it = pageIndex_.find(index);
    if (it != pageIndex_.end()) {
        pages_.splice(pages_.begin(), pages_, it->second);
        return &pages_.front().second;
    }
    std::vector<qint64> rowids;
    const qint64 first = static_cast<qint64>(index) * kPageRows;
    if (view_) {
        if (!view_->rowids(first, kPageRows, rowids)) {
            reportReadError(view_->error());
            rowids.clear();
        }
    } else {
        const auto begin =
            taggedRows_.begin() + std::min<qint64>(first, static_cast<qint64>(taggedRows_.size()));
        const auto end = taggedRows_.begin() +
                         std::min<qint64>(first + kPageRows, static_cast<qint64>(taggedRows_.size()));
        rowids.assign(begin, end);
    }
    Page rows;
    rows.reserve(rowids.size());
    for (qint64 rowid : rowids) {
        Schedule t;
        Row r;
        r.rowid = rowid;
        const Err e = table_->fetch(rowid, t);
        if (e != Err::None && e != Err::RecordNotFound)
            reportReadError(table_->error());
        if (e == Err::None) {
            r.id = t.id;
            r.date = t.date;
            r.time = t.time;
            r.category = Clip(t.category);
            r.description = Clip(t.description);
            r.taskType = Clip(t.taskType);
            r.scheduleType = Clip(t.scheduleType);
            r.icon = TaskStateIcon(t);
            r.disabled = t.disabled == 1;
            r.skip = t.skipNextTime == 1;
            // The task's last run; a record that cannot be read leaves the column empty.
            Runs last;
            if (t.id != 0 && LastRunOf(*runs_, t.id, last)) {
                r.last = LastResultOf(last);
                r.lastText = RunResultText(last);
            }
        }
        rows.push_back(std::move(r));
    }
    ++pagesRead_;
    pages_.emplace_front(index, std::move(rows));
    pageIndex_[index] = pages_.begin();
    if (pages_.size() > kPagesKept) {
        pageIndex_.erase(pages_.back().first);
        pages_.pop_back();
    }
    return &pages_.front().second;
}

const ScheduleListModel::Row* ScheduleListModel::row(int r) const {
    if (r < 0 || r >= count_)
        return nullptr;
    const Page* p = page(r / kPageRows);
    const std::size_t i = static_cast<std::size_t>(r % kPageRows);
    return i < p->size() ? &(*p)[i] : nullptr;
}

qint64 ScheduleListModel::rowidAt(int r) {
    const Row* x = row(r);
    return x != nullptr ? x->rowid : 0;
}

qint32 ScheduleListModel::taskIdAt(int r) {
    const Row* x = row(r);
    return x != nullptr ? x->id : 0;
}

int ScheduleListModel::rowOf(qint64 rowid) {
    if (view_) {
        const qint64 place = view_->positionOf(rowid);
        if (place < 0 || rowidAt(static_cast<int>(place)) == rowid)
            return static_cast<int>(place);
        // A view whose count is still being done places a record nearly right: the row that
        // shows it is near.
        const qint64 reach = 2 * KeyView::kMarkEvery;
        for (qint64 d = 1; d <= reach; ++d) {
            for (const qint64 r : {place - d, place + d}) {
                if (r >= 0 && r < count_ && rowidAt(static_cast<int>(r)) == rowid)
                    return static_cast<int>(r);
            }
        }
        return static_cast<int>(place);
    }
    const auto it = std::find(taggedRows_.begin(), taggedRows_.end(), rowid);
    return it == taggedRows_.end() ? -1 : static_cast<int>(it - taggedRows_.begin());
}

int ScheduleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(std::min<qint64>(count_, std::numeric_limits<int>::max()));
}

int ScheduleListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ScheduleListModel::data(const QModelIndex& index, int role) const {
    const Row* r = row(index.row());
    if (r == nullptr)
        return {};
    const int c = index.column();
    switch (role) {
    case Qt::DisplayRole:
        switch (c) {
        case DateColumn:
            return r->date == 0 ? QString() : FormatDateAs(r->date, datePicture_);
        case TimeColumn:
            return FormatTimeAs(r->time, QStringLiteral("t3"));
        case CategoryColumn:
            return r->category;
        case DescriptionColumn:
            return r->description;
        case TaskTypeColumn:
            return r->taskType;
        case ScheduleTypeColumn:
            return r->scheduleType;
        case LastResultColumn:
            return r->lastText;
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (c == LastResultColumn)
            return r->last == LastResult::None ? QVariant() : QVariant(LastResultIcon(r->last));
        return c == IconColumn ? QVariant(StateIcon(r->icon)) : QVariant();
    case Qt::ForegroundRole:
        // A failed last run is marked.
        if (r->last == LastResult::Failed && (c == LastResultColumn || c == DescriptionColumn))
            return QBrush(QColor(190, 0, 0));
        if (c == DateColumn || c == TimeColumn) {
            if (r->disabled)
                return QBrush(QColor(128, 128, 128));
            if (r->skip)
                return QBrush(QColor(0, 0, 255));
        }
        return {};
    case Qt::ToolTipRole:
        if (c == IconColumn) {
            static const char* const names[] = {"Disabled", "Done", "Not done yet", "Skips its next run"};
            return QString::fromLatin1(names[r->icon - 1]);
        }
        if (c == LastResultColumn && !r->lastText.isEmpty())
            return r->lastText;
        return {};
    default:
        return {};
    }
}

QVariant ScheduleListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const titles[] = {"",          "Date",         "Time", "Category", "Description",
                                         "Task Type", "Schedule Type", "Last Result"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(titles[section]) : QString();
}

} // namespace kr
