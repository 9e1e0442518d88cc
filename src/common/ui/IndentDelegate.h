#pragma once

#include <QStyledItemDelegate>

namespace quillon {

// Draws each item of a folder drop-down shifted right by its level, an int the item holds in
// `indentRole`, `step` pixels per level; the closed combo shows the item plainly.
class IndentDelegate : public QStyledItemDelegate {
 public:
  IndentDelegate(int indentRole, int step, QObject* parent)
      : QStyledItemDelegate(parent), indentRole_(indentRole), step_(step) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(Shift(index), 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += Shift(index);
    return size;
  }

 private:
  int Shift(const QModelIndex& index) const { return index.data(indentRole_).toInt() * step_; }

  const int indentRole_;
  const int step_;
};

}  // namespace quillon
