#pragma once

#include "batch/searchlist.h"

#include <QAbstractListModel>

/// listboxTags' rows: a view over the tag search list, one checkable row per entry.
/// The list operations go through here so that the view hears of every change.
class TTagSearchListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    const TTagSearchList& List() const { return m_list; }

    /// Runs an operation on the list (Add, Sort, Reset...) and shows its result.
    template <class F> auto Change(F&& operation)
    {
        beginResetModel();
        struct End {
            TTagSearchListModel* model;
            ~End() { model->endResetModel(); }
        } end{this};
        return operation(m_list);
    }
    /// Selection changes come from the view and touch no row.
    void Select(int row) { m_list.Select(row); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TTagSearchList m_list;
};
