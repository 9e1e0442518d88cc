#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
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

}  // namespace quillon::test
