#pragma once

// The rows of a list window over one table: a view in the order of one key, optionally
// filtered, read a page at a time by position so that a table of a hundred thousand records
// opens as quickly as one of ten.

#include "store/KeyView.h"
#include "store/Store.h"
#include "store/Table.h"

#include <QAbstractTableModel>

#include <algorithm>
#include <functional>
#include <limits>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kr {

template <class R> class RecordListModel final : public QAbstractTableModel {
public:
    struct Column {
        QString title;
        // The cell's value for a role (display, decoration, tool tip); an invalid QVariant
        // for roles it does not answer.
        std::function<QVariant(const R&, int role)> value;
    };
    static constexpr int kPageRows = 128;

    RecordListModel(Store& store, std::vector<Column> columns, QObject* parent = nullptr)
        : QAbstractTableModel(parent)
        , table_(store)
        , columns_(std::move(columns)) {}

    // Shows the records of `key` that meet the conditions.
    void setView(int key, std::vector<KeyView::Condition> conditions = {}) {
        beginResetModel();
        key_ = key;
        conditions_ = std::move(conditions);
        rebuild();
        endResetModel();
    }
    // What to do when a large view, first shown with its last count or an estimate, has been
    // counted exactly on a thread of its own: by default the rows are read again. A window
    // that keeps its highlighted row reads them itself.
    void setRefined(std::function<void()> refined) { refined_ = std::move(refined); }
    // Reads the table again, keeping nothing of the rows shown before.
    void refresh() {
        beginResetModel();
        rebuild();
        endResetModel();
    }
    // False after the view could not be read; the error is in error().
    bool ok() const { return ok_; }
    const StoreError& error() const { return error_; }

    // The record shown in the row; nullptr when the row is not there.
    const R* recordAt(int r) const {
        if (r < 0 || r >= count_)
            return nullptr;
        const Page* p = page(r / kPageRows);
        const std::size_t i = static_cast<std::size_t>(r % kPageRows);
        return i < p->size() && (*p)[i].meta.rowid != 0 ? &(*p)[i] : nullptr;
    }
    qint64 rowidAt(int r) const {
        const R* x = recordAt(r);
        return x != nullptr ? x->meta.rowid : 0;
    }
    // The row showing the record, -1 when the view does not hold it.
    int rowOf(qint64 rowid) { return view_ ? static_cast<int>(view_->positionOf(rowid)) : -1; }
    int pagesRead() const { return pagesRead_; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0
                                : static_cast<int>(std::min<qint64>(count_, std::numeric_limits<int>::max()));
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(columns_.size());
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.column() < 0 || index.column() >= columnCount())
            return {};
        const R* r = recordAt(index.row());
        if (r == nullptr)
            return {};
        return columns_[static_cast<std::size_t>(index.column())].value(*r, role);
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= columnCount())
            return {};
        return columns_[static_cast<std::size_t>(section)].title;
    }

private:
    using Page = std::vector<R>;

    void rebuild() {
        pages_.clear();
        pageIndex_.clear();
        pagesRead_ = 0;
        view_ = std::make_unique<KeyView>(table_, key_, conditions_);
        view_->onRefined(this, [this] {
            if (refined_)
                refined_();
            else
                refresh();
        });
        count_ = view_->count();
        ok_ = count_ >= 0;
        if (!ok_)
            error_ = view_->error();
        count_ = std::max<qint64>(0, count_);
    }

    const Page* page(int index) const {
        const auto it = pageIndex_.find(index);
        if (it != pageIndex_.end()) {
            pages_.splice(pages_.begin(), pages_, it->second);
            return &pages_.front().second;
        }
        std::vector<qint64> rowids;
        if (!view_->rowids(static_cast<qint64>(index) * kPageRows, kPageRows, rowids))
            rowids.clear();
        Page rows(rowids.size());
        for (std::size_t i = 0; i < rowids.size(); ++i)
            if (table_.fetch(rowids[i], rows[i]) != Err::None)
                rows[i] = R{};
        ++pagesRead_;
        pages_.emplace_front(index, std::move(rows));
        pageIndex_[index] = pages_.begin();
        if (pages_.size() > kPagesKept) {
            pageIndex_.erase(pages_.back().first);
            pages_.pop_back();
        }
        return &pages_.front().second;
    }

    static constexpr std::size_t kPagesKept = 64;

    mutable Table<R> table_;
    std::vector<Column> columns_;
    int key_ = 0;
    std::vector<KeyView::Condition> conditions_;
    std::unique_ptr<KeyView> view_;
    std::function<void()> refined_;
    qint64 count_ = 0;
    bool ok_ = true;
    StoreError error_;
    mutable std::list<std::pair<int, Page>> pages_;
    mutable std::unordered_map<int, typename std::list<std::pair<int, Page>>::iterator> pageIndex_;
    mutable int pagesRead_ = 0;
};

} // namespace kr
