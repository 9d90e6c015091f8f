#include "number_list.h"

namespace kellix {

NumberListModel::NumberListModel(std::function<int()> count, std::function<QString(int)> text,
                                 QObject* parent)
    : QAbstractListModel(parent), count_(std::move(count)), text_(std::move(text)) {}

void NumberListModel::Reset() {
    beginResetModel();
    rows_ = std::max(count_(), 0);
    endResetModel();
}

int NumberListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

QVariant NumberListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_ ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return {};
    }
    return text_(index.row());
}

} // namespace kellix
