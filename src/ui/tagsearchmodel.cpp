#include "ui/tagsearchmodel.h"

int TTagSearchListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_list.Count();
}

QVariant TTagSearchListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_list.Count())
        return {};
    const TTagSearchEntry& entry = m_list.Entry(index.row());
    if (role == Qt::DisplayRole)
        return QString::fromStdString(entry.Text);
    if (role == Qt::CheckStateRole)
        return entry.Checked ? Qt::Checked : Qt::Unchecked;
    return {};
}

bool TTagSearchListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= m_list.Count())
        return false;
    m_list.SetChecked(index.row(), value.toInt() == Qt::Checked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    return true;
}

Qt::ItemFlags TTagSearchListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}
