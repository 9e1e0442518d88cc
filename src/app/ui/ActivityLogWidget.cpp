#include "app/ui/ActivityLogWidget.h"

#include <QPainter>
#include <QStyledItemDelegate>
#include <QThread>

#include "app/ui/Colour.h"

namespace quillon {
namespace {

constexpr int kColourRole = Qt::UserRole + 1;

class ActivityLineDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    painter->save();
    QColor text;
    if (option.state & QStyle::State_Selected) {
      painter->fillRect(option.rect, QColor(255, 255, 204));
      text = QColor(255, 0, 0);
    } else {
      text = ToQColor(index.data(kColourRole).toInt(), option.palette.color(QPalette::Text));
    }
    painter->setPen(text);
    QString line = index.data(Qt::DisplayRole).toString();
    QRect area = option.rect.adjusted(2, 0, -2, 0);
    painter->drawText(area, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      option.fontMetrics.elidedText(line, Qt::ElideNone, area.width()));
    painter->restore();
  }
};

}  // namespace

ActivityLogWidget::ActivityLogWidget(QWidget* parent) : QListWidget(parent) {
  setObjectName(QStringLiteral("activityLog"));
  setItemDelegate(new ActivityLineDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
}

void ActivityLogWidget::AddLine(std::string_view text, int32_t colour) {
  QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (QThread::currentThread() == thread()) {
    AppendLine(line, colour);
    return;
  }
  QMetaObject::invokeMethod(this, "AppendLine", Qt::QueuedConnection, Q_ARG(QString, line),
                            Q_ARG(int, colour));
}

void ActivityLogWidget::AppendLine(const QString& text, int colour) {
  if (count() >= kMaxLines) delete takeItem(0);
  auto* item = new QListWidgetItem(text, this);
  item->setData(kColourRole, colour);
  setCurrentItem(item);
  scrollToItem(item);
}

QString ActivityLogWidget::AllText() const {
  QString all;
  for (int i = 0; i < count(); ++i) all += item(i)->text() + QStringLiteral("\r\n");
  return all;
}

void ActivityLogWidget::focusOutEvent(QFocusEvent* event) {
  clearSelection();
  QListWidget::focusOutEvent(event);
}

}  // namespace quillon
