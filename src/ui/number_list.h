#pragma once

#include <QAbstractListModel>

#include <functional>

namespace kellix {

// The items of a list or combo box computed from the song when shown, so that a play list of a
// million entries or a combo box of 65536 patterns is filled at once.
class NumberListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    NumberListModel(std::function<int()> count, std::function<QString(int row)> text,
                    QObject* parent = nullptr);

    // The song changed: every item is read anew.
    void Reset();
    // The items' texts may have changed (not their number): they are read anew when shown.
    void TextsChanged();
    // Marks one row (the play-list entry being heard) without selecting it; -1 for none.
    void SetHighlight(int row);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    std::function<int()> count_;
    std::function<QString(int)> text_;
    int rows_ = 0;
    int highlight_ = -1;
};

} // namespace kellix
