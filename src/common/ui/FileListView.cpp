#include "common/ui/FileListView.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <algorithm>

#include "common/ui/FileListModel.h"

namespace quillon {

FileListView::FileListView(QWidget* parent) : QTableView(parent) {
  setShowGrid(false);
  setWordWrap(false);
  setTabKeyNavigation(false);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // Every row as high as a line of text: no row is measured.
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  header()->setSectionsClickable(true);
  header()->setHighlightSections(false);
  header()->setStretchLastSection(false);
  header()->setSectionResizeMode(QHeaderView::Interactive);
  connect(header(), &QHeaderView::sectionClicked, this, &FileListView::headerClicked);
  connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid()) emit openRequested(index.row());
  });
}

void FileListView::SetFileModel(FileListModel* model) {
  model_ = model;
  setModel(model);
  FitColumns();
}

void FileListView::FitColumns() {
  if (!model_) return;
  const QFontMetrics metrics = fontMetrics();
  const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 16;
  const int icon =
      iconSize().isValid() ? iconSize().width() : style()->pixelMetric(QStyle::PM_SmallIconSize);
  const int name = model_->ContentWidth(FileColumn::Name, metrics) + icon + padding;
  const int limit = std::max(180, viewport()->width() / 2);
  setColumnWidth(0, std::clamp(name, 180, limit));
  setColumnWidth(1, std::max(50, model_->ContentWidth(FileColumn::Size, metrics) + padding));
  setColumnWidth(2, std::max(120, model_->ContentWidth(FileColumn::Date, metrics) + padding));
}

void FileListView::SetPlaceholder(const QString& text) {
  placeholder_ = text;
  viewport()->update();
}

QList<int> FileListView::SelectedRows() const {
  QList<int> rows;
  if (!selectionModel()) return rows;
  for (const QModelIndex& index : selectionModel()->selectedRows()) rows.append(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

void FileListView::keyPressEvent(QKeyEvent* event) {
  if (state() == QAbstractItemView::EditingState) {
    QTableView::keyPressEvent(event);
    return;
  }
  const int key = event->key();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier) {
    // The list's own: the window's default button must not see it.
    if (currentIndex().isValid()) emit openRequested(currentIndex().row());
  } else if (key == Qt::Key_Delete && modifiers == Qt::NoModifier) {
    emit deleteRequested();
  } else if ((key == Qt::Key_Backspace && modifiers == Qt::NoModifier) ||
             (key == Qt::Key_Up && modifiers == Qt::AltModifier)) {
    emit upRequested();
  } else if (key == Qt::Key_Left && modifiers == Qt::AltModifier) {
    emit backRequested();
  } else if (key == Qt::Key_Right && modifiers == Qt::AltModifier) {
    emit forwardRequested();
  } else if (key == Qt::Key_F5 && modifiers == Qt::NoModifier) {
    emit refreshRequested();
  } else {
    QTableView::keyPressEvent(event);
    return;
  }
  event->accept();
}

void FileListView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  emit listClicked();
}

void FileListView::focusInEvent(QFocusEvent* event) {
  QTableView::focusInEvent(event);
  emit focusEntered();
}

void FileListView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  if (placeholder_.isEmpty() || !model_ || model_->rowCount() > 0) return;
  QPainter painter(viewport());
  painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
  painter.drawText(viewport()->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                   placeholder_);
}

}  // namespace quillon
