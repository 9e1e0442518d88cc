#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <functional>

namespace quillon::test {

// Runs `act` on the next turn of the event loop, for answering a modal dialog that the code
// under test is about to open: the action finds the active modal widget and clicks in it.
inline void WhenModalOpens(std::function<void(QWidget*)> act, int attempts = 200) {
  QTimer::singleShot(10, [act = std::move(act), attempts] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      act(modal);
    } else if (attempts > 0) {
      WhenModalOpens(act, attempts - 1);
    }
  });
}

// Runs `act` on the next turn of the event loop with the pop-up menu (or other pop-up) that the
// code under test is about to open, e.g. to read its entries and click one.
inline void WhenPopupOpens(std::function<void(QWidget*)> act, int attempts = 200) {
  QTimer::singleShot(10, [act = std::move(act), attempts] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      act(popup);
    } else if (attempts > 0) {
      WhenPopupOpens(act, attempts - 1);
    }
  });
}

// The child of `parent` of type T with the object name `name`; the test fails when there is
// none (the caller then gets null).
template <class T>
T* Find(const QObject* parent, const char* name) {
  T* child = parent->findChild<T*>(QString::fromLatin1(name));
  if (!child) ADD_FAILURE() << "no control named " << name;
  return child;
}

// A left click where a user would click: on the indicator of a check box or radio button (a
// click beside its caption, where a wide layout may put the centre, does nothing), else in
// the middle of the widget.
inline void Click(QWidget* widget) {
  QPoint at = widget->rect().center();
  const bool radio = qobject_cast<QRadioButton*>(widget) != nullptr;
  if (radio || qobject_cast<QCheckBox*>(widget)) {
    QStyleOptionButton option;
    option.initFrom(widget);
    at =
        widget->style()
            ->subElementRect(radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator,
                             &option, widget)
            .center();
  }
  QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

// Types `text` into `widget` one key press per character, like QTest::keyClicks but also for
// characters outside ASCII (which QTest cannot map to a key).
inline void TypeText(QWidget* widget, const QString& text) {
  for (QChar c : text) {
    if (c.unicode() < 0x80)
      QTest::keyClick(widget, c.toLatin1());
    else
      QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

}  // namespace quillon::test
