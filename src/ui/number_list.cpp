#include "number_list.h"

#include <QColor>

namespace kellix {

NumberListModel::NumberListModel(std::function<int()> count, std::function<QString(int)> text,
                                 QObject* parent)
    : QAbstractListModel(parent), count_(std::move(count)), text_(std::move(text)) {}

void NumberListModel::Reset() {
    beginResetModel();
    rows_ = std::max(count_(), 0);
    endResetModel();
}

void NumberListModel::TextsChanged() {
    if (rows_ > 0) {
        emit dataChanged(index(0), index(rows_ - 1), {Qt::DisplayRole});
    }
}

void NumberListModel::SetHighlight(int row) {
    if (row == highlight_) {
        return;
    }
    const int old = highlight_;
    highlight_ = row;
    for (int r : {old, row}) {
        if (r >= 0 && r < rows_) {
            emit dataChanged(index(r), index(r), {Qt::BackgroundRole});
        }
    }
}

int NumberListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant NumberListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_) {
        return {};
    }
    if (role == Qt::BackgroundRole) {
        return index.row() == highlight_ ? QVariant(QColor(0xC8, 0xE6, 0xFF)) : QVariant();
    }
    if (role != Qt::DisplayRole && role != Qt::EditRole) {
        return {};
    }
    return text_(index.row());
}

} // namespace kellix
