#pragma once

#include <QListWidget>
#include <QString>

#include "common/ActivityLog.h"

namespace quillon {

// The activity log: coloured one-line entries, at most 1001 of them (the oldest goes first).
// The newest line is selected; a selected line is drawn red on pale yellow, others in their own
// colour (-1: the list's text colour). Losing the focus clears the selection.
// AddLine may be called from any thread: the line is copied and added on the GUI thread in the
// order each thread sent its lines (a lane never waits for the window).
class ActivityLogWidget : public QListWidget, public ActivityLog {
  Q_OBJECT

 public:
  static constexpr int kMaxLines = 1001;

  explicit ActivityLogWidget(QWidget* parent = nullptr);

  void AddLine(std::string_view text, int32_t colour) override;

  // Every line followed by CR LF, for the "L" button's information window.
  QString AllText() const;

 public slots:
  void AppendLine(const QString& text, int colour);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace quillon
