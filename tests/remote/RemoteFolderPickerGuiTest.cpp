// The remote browser panel and the "Select remote folder" dialog, driven offscreen against a
// real FTP server (pyftpdlib): navigation and history, the root limit, the keep-alive check,
// and what the dialog returns.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest/QTest>
#include <filesystem>

#include "ftp/CurlFtp.h"
#include "remote/ConnectionWorker.h"
#include "remote/ui/CFTPComboEx.h"
#include "remote/ui/CFTPList.h"
#include "remote/ui/RemoteBrowserPanel.h"
#include "remote/ui/RemoteFolderPicker.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using V = std::vector<std::string>;
using namespace std::chrono_literals;

const char* const kNavigateFailed =
    "Cannot navigate to the remote folder. Connection will be closed.\n\nYou can use the 'R' "
    "button on the login screen to try a different\nremote folder.";

bool WaitForGui(const std::function<bool()>& done) {
  return test::WaitFor([&] {
    QCoreApplication::processEvents();
    return done();
  });
}

// Waits until the list's connection has answered everything asked of it.
bool Idle(CFTPList& list) {
  return WaitForGui([&] { return !list.IsBusy(); });
}

void DoubleClick(CFTPList& list, const std::string& name) {
  const int row = list.RowNamed(name);
  ASSERT_GE(row, 0) << "no row " << name;
  QPoint at = list.visualRect(list.model()->index(row, 0)).center();
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
  ASSERT_TRUE(Idle(list));
}

// What the panel's controls show: folder, field, enabled Back/Forward/Up/combo, history.
struct PanelState {
  std::string folder;
  std::string field;
  bool back, forward, up, combo;
  V history;
  bool operator==(const PanelState&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PanelState& s) {
  out << s.folder << " field=" << s.field << " back=" << s.back << " forward=" << s.forward
      << " up=" << s.up << " combo=" << s.combo << " history=";
  for (const auto& h : s.history) out << h << ",";
  return out;
}

PanelState StateOf(RemoteBrowserPanel& panel) {
  auto enabled = [&](const char* name) { return panel.findChild<QWidget*>(name)->isEnabled(); };
  V history;
  const auto& entries = panel.History().entries();
  for (size_t i = 0; i < entries.size(); ++i)
    history.push_back((static_cast<int>(i) == panel.History().index() ? "*" : "") + entries[i]);
  return {panel.CurrentFolder(),
          panel.findChild<QLineEdit*>("currentFolderField")->text().toStdString(),
          enabled("backButton"),
          enabled("forwardButton"),
          enabled("upButton"),
          enabled("remoteCombo"),
          history};
}

void Click(RemoteBrowserPanel& panel, const char* button) {
  QTest::mouseClick(panel.findChild<QToolButton*>(button), Qt::LeftButton);
  ASSERT_TRUE(Idle(panel.List()));
}

// The panel's asynchronous calls, waited for.
bool ConnectAndShow(RemoteBrowserPanel& panel) {
  std::optional<bool> result;
  panel.ConnectAndShow([&](bool ok) { result = ok; });
  EXPECT_TRUE(WaitForGui([&] { return result.has_value(); }));
  return result.value_or(false);
}
bool Navigate(RemoteBrowserPanel& panel, const std::string& folder) {
  std::optional<bool> result;
  panel.Navigate(folder, [&](bool ok) { result = ok; });
  EXPECT_TRUE(WaitForGui([&] { return result.has_value(); }));
  return result.value_or(false);
}

class RemotePanelTest : public testing::Test {
 protected:
  RemotePanelTest() {
    for (const char* folder : {"docs/deep/inner", "pub"})
      fs::create_directories(root_.path() / folder);
    test::WriteFile(root_.path() / "docs" / "a.txt", "a");
  }

  void SetUp() override { ASSERT_TRUE(InitCurlGlobal()); }
  // A connect that was cancelled ends before the connector it uses goes.
  void TearDown() override { ConnectionWorker::WaitForDropped(30s); }

  ConnectionProfile Profile(std::string remoteDir, std::string remoteRoot = "/") {
    ConnectionProfile profile = server_.Profile();
    profile.remoteDir = std::move(remoteDir);
    profile.remoteRoot = std::move(remoteRoot);
    return profile;
  }

  std::unique_ptr<RemoteBrowserPanel> Panel(const ConnectionProfile& profile) {
    auto panel = std::make_unique<RemoteBrowserPanel>(connector_, messages_, profile);
    panel->resize(600, 400);
    panel->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(panel.get()));
    return panel;
  }

  V Shown() const {
    V texts;
    for (const auto& shown : messages_.shown) texts.push_back(shown.text);
    return texts;
  }

  test::TempDir root_;
  FtpServer server_{FtpServer::Options{.root = root_.path()}};
  CurlFtpConnector connector_;
  test::RecordingMessages messages_;
};

TEST_F(RemotePanelTest, NavigatesWithTheToolbarTheListAndTheCombo) {
  auto panel = Panel(Profile("/docs"));
  ASSERT_TRUE(ConnectAndShow(*panel));
  EXPECT_EQ(panel->KeepAliveInterval(), 15s);
  EXPECT_EQ(StateOf(*panel), (PanelState{"/docs", "/docs", false, false, true, true, {"*/docs"}}));
  EXPECT_EQ(panel->Combo().SelectedFolder(), "/docs");

  DoubleClick(panel->List(), "a.txt");  // a file opens nothing
  EXPECT_EQ(panel->CurrentFolder(), "/docs");
  DoubleClick(panel->List(), "deep");
  DoubleClick(panel->List(), "inner");
  EXPECT_EQ(StateOf(*panel), (PanelState{"/docs/deep/inner",
                                         "/docs/deep/inner",
                                         true,
                                         false,
                                         true,
                                         true,
                                         {"/docs", "/docs/deep", "*/docs/deep/inner"}}));
  EXPECT_EQ(panel->Combo().currentText(), "inner");

  // Back twice, then a new folder goes after the last entry, not after the current one.
  Click(*panel, "backButton");
  EXPECT_EQ(StateOf(*panel), (PanelState{"/docs/deep",
                                         "/docs/deep",
                                         true,
                                         true,
                                         true,
                                         true,
                                         {"/docs", "*/docs/deep", "/docs/deep/inner"}}));
  Click(*panel, "backButton");
  Click(*panel, "backButton");  // disabled at the first entry
  EXPECT_EQ(panel->Combo().SelectedFolder(), "/docs");
  DoubleClick(panel->List(), "deep");
  EXPECT_EQ(StateOf(*panel),
            (PanelState{"/docs/deep",
                        "/docs/deep",
                        true,
                        false,
                        true,
                        true,
                        {"/docs", "/docs/deep", "/docs/deep/inner", "*/docs/deep"}}));

  Click(*panel, "upButton");
  Click(*panel, "upButton");
  EXPECT_EQ(StateOf(*panel),
            (PanelState{"/",
                        "/",
                        true,
                        false,
                        false,
                        false,
                        {"/docs", "/docs/deep", "/docs/deep/inner", "/docs/deep", "/docs", "*/"}}));

  // Choosing a folder in the combo (enabled again below the root) shows it and records it.
  ASSERT_TRUE(Navigate(*panel, "/docs"));
  CFTPComboEx& combo = panel->Combo();
  const int pub = combo.findText("pub");
  ASSERT_GE(pub, 0);
  combo.setCurrentIndex(pub);
  emit combo.activated(pub);
  ASSERT_TRUE(Idle(panel->List()));
  EXPECT_EQ(panel->CurrentFolder(), "/pub");
  EXPECT_EQ(panel->History().Current(), "/pub");
  EXPECT_EQ(combo.SelectedFolder(), "/pub");

  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(RemotePanelTest, TheSixteenthFolderDropsTheFirstHistoryEntry) {
  auto panel = Panel(Profile("/"));
  ASSERT_TRUE(ConnectAndShow(*panel));
  ASSERT_EQ(panel->History().entries(), V{"/"});
  for (int i = 0; i < 15; ++i) ASSERT_TRUE(Navigate(*panel, i % 2 ? "/docs" : "/pub"));
  // Sixteen folders visited: the first ("/") is gone, the fifteen others remain.
  ASSERT_EQ(panel->History().entries().size(), 15u);
  EXPECT_EQ(panel->History().entries().front(), "/pub");
  EXPECT_EQ(panel->History().entries().back(), "/pub");
  EXPECT_EQ(panel->History().index(), 14);
}

TEST_F(RemotePanelTest, ALockedRootIsNeverLeft) {
  auto panel = Panel(Profile("", "/docs/"));
  ASSERT_TRUE(ConnectAndShow(*panel));  // "/" lies outside the root: the root is shown
  EXPECT_EQ(StateOf(*panel), (PanelState{"/docs", "/", false, false, false, false, {"*/docs"}}));
  EXPECT_EQ(panel->Combo().itemText(0), "docs");

  DoubleClick(panel->List(), "deep");
  EXPECT_EQ(StateOf(*panel),
            (PanelState{"/docs/deep", "/deep", true, false, true, true, {"/docs", "*/docs/deep"}}));
  Click(*panel, "upButton");
  EXPECT_EQ(panel->CurrentFolder(), "/docs");
  panel->Up();  // at the root Up does nothing
  EXPECT_FALSE(panel->IsBusy());
  EXPECT_EQ(panel->CurrentFolder(), "/docs");
  EXPECT_TRUE(Navigate(*panel, "/pub"));
  EXPECT_EQ(panel->CurrentFolder(), "/docs");
}

TEST_F(RemotePanelTest, StartFolderFallsBackToTheRootOrTheConnectionIsClosed) {
  auto panel = Panel(Profile("/missing"));
  ASSERT_TRUE(ConnectAndShow(*panel));
  EXPECT_EQ(StateOf(*panel), (PanelState{"/", "/", false, false, false, false, {"*/"}}));
  EXPECT_TRUE(messages_.shown.empty());

  auto refused = Panel(Profile("/missing", "/missing-root"));
  EXPECT_FALSE(ConnectAndShow(*refused));
  EXPECT_EQ(Shown(), V{kNavigateFailed});
  EXPECT_EQ(messages_.shown[0].icon, MessageIcon::Information);
  EXPECT_FALSE(refused->IsConnected());
  EXPECT_EQ(refused->Combo().placeholderText(), "Not connected");

  ConnectionProfile wrong = Profile("/");
  wrong.password = "wrong";
  auto unknown = Panel(wrong);
  EXPECT_FALSE(ConnectAndShow(*unknown));
  EXPECT_EQ(messages_.shown.size(), 1u);  // a refused login shows nothing here
}

TEST_F(RemotePanelTest, AListRefreshResetsTheHistory) {
  auto panel = Panel(Profile("/docs"));
  ASSERT_TRUE(ConnectAndShow(*panel));
  DoubleClick(panel->List(), "deep");
  Click(*panel, "upButton");
  ASSERT_EQ(panel->History().entries().size(), 3u);
  test::WriteFile(root_.path() / "docs" / "b.txt", "b");

  CFTPList& list = panel->List();
  list.selectionModel()->select(list.model()->index(list.RowNamed("a.txt"), 0),
                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  QSignalSpy reset(panel.get(), &BrowserPanel::historyReset);
  messages_.QueueAnswer(MessageAnswer::Yes);
  list.DeleteSelected();
  ASSERT_TRUE(reset.wait(10'000));
  EXPECT_FALSE(fs::exists(root_.path() / "docs" / "a.txt"));
  EXPECT_EQ(StateOf(*panel), (PanelState{"/docs", "/docs", false, false, true, true, {"*/docs"}}));
  EXPECT_LT(list.RowNamed("a.txt"), 0);
  EXPECT_GE(list.RowNamed("b.txt"), 0);
}

TEST_F(RemotePanelTest, KeepAliveDisconnectsWhenTheServerIsGone) {
  auto panel = Panel(Profile("/docs"));
  panel->SetKeepAliveInterval(50ms);
  ASSERT_TRUE(ConnectAndShow(*panel));
  DoubleClick(panel->List(), "deep");
  QSignalSpy lost(panel.get(), &RemoteBrowserPanel::connectionLost);
  server_.Stop();
  ASSERT_TRUE(WaitForGui([&] { return !panel->IsConnected(); }));
  EXPECT_EQ(lost.count(), 1);
  EXPECT_EQ(StateOf(*panel),
            (PanelState{"/docs/deep", "/docs/deep", false, false, false, false, {}}));
  EXPECT_EQ(panel->List().RowCount(), 0);
  EXPECT_EQ(panel->Combo().count(), 0);
  EXPECT_EQ(panel->Combo().placeholderText(), "Not connected");
}

TEST_F(RemotePanelTest, AHungServerCountsAsGoneAfterTheShortReplyTime) {
  auto panel = Panel(Profile("/docs"));
  panel->SetKeepAliveInterval(50ms);
  panel->SetKeepAliveReplyTime(300ms);
  ASSERT_TRUE(ConnectAndShow(*panel));
  EXPECT_EQ(RemoteBrowserPanel::kKeepAliveReplyTime, 10s) << "far below the 60 s of a reply";
  server_.Pause();  // connections stay open, nothing answers
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitForGui([&] { return !panel->IsConnected(); }));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  server_.Resume();
}

class RemoteFolderPickerTest : public RemotePanelTest {
 protected:
  // Runs the picker; `act` works in the open dialog once it has connected and shown its
  // folders (null: nothing is done; the dialog is expected to end by itself).
  int Run(RemoteFolderPicker& picker, std::function<void(RemoteFolderPicker&)> act) {
    if (act) {
      test::WhenModalOpens([&](QWidget* modal) {
        ASSERT_EQ(modal, &picker);
        ASSERT_TRUE(WaitForGui([&] {
          return picker.Panel() && picker.Panel()->IsConnected() && !picker.Panel()->IsBusy() &&
                 picker.findChild<QPushButton*>("okButton")->isEnabled();
        }));
        act(picker);
      });
    }
    return picker.exec();
  }
  static void Press(RemoteFolderPicker& picker, const char* button) {
    picker.findChild<QPushButton*>(button)->click();
  }
};

TEST_F(RemoteFolderPickerTest, ReturnsTheFolderShownOnOkAndNothingOnCancel) {
  struct Case {
    const char* what;
    std::string remoteDir;
    std::string chosen;
    std::string open;  // a folder row double-clicked in the dialog, if any
    const char* button;
    int result;
    std::string returned;
  } cases[] = {
      {"OK without navigating", "/pub", "/docs", "", "okButton", QDialog::Accepted, "/docs"},
      {"OK at the start folder", "/pub", "", "", "okButton", QDialog::Accepted, "/pub"},
      {"OK after opening a folder", "/", "/docs", "deep", "okButton", QDialog::Accepted,
       "/docs/deep"},
      {"a first folder that is gone", "/pub", "/gone", "", "okButton", QDialog::Accepted, "/"},
      {"Cancel", "/", "/docs", "deep", "cancelButton", QDialog::Rejected, "/docs"},
      {"Cancel keeps a folder that is gone", "/", "/gone", "", "cancelButton", QDialog::Rejected,
       "/gone"},
  };
  for (const auto& c : cases) {
    RemoteFolderPicker picker(connector_, messages_);
    picker.SetPrompt("Download files from which remote folder?");
    picker.SetProfile(Profile(c.remoteDir));
    picker.SetChosenFolder(c.chosen);
    EXPECT_EQ(picker.Mode(), RemoteFolderPicker::kPickFolder);
    int result = Run(picker, [&](RemoteFolderPicker& dialog) {
      EXPECT_EQ(dialog.windowTitle(), "Select remote folder");
      EXPECT_EQ(dialog.findChild<QLabel*>("promptLabel")->text(),
                "Download files from which remote folder?");
      EXPECT_EQ(dialog.findChild<QPushButton*>("okButton")->text(), "OK");
      EXPECT_EQ(dialog.findChild<QPushButton*>("cancelButton")->text(), "Cancel");
      EXPECT_FALSE(dialog.findChild<QPushButton*>("wizardBackButton")->isVisible());
      EXPECT_EQ(dialog.Panel()->List().palette().color(QPalette::Text), QColor(170, 0, 0));
      if (!c.open.empty()) DoubleClick(dialog.Panel()->List(), c.open);
      Press(dialog, c.button);
    });
    EXPECT_EQ(result, c.result) << c.what;
    EXPECT_EQ(picker.ChosenFolder(), c.returned) << c.what;
    ASSERT_NE(picker.Panel(), nullptr);
    EXPECT_FALSE(picker.Panel()->IsConnected()) << c.what;  // closed with the dialog
  }
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(RemoteFolderPickerTest, NoConnectionEndsWithCancelAndTheWarning) {
  ConnectionProfile wrong = Profile("/");
  wrong.password = "wrong";
  struct Case {
    const char* what;
    ConnectionProfile profile;
    int warningLevel;
    V shown;
  } cases[] = {
      {"refused login", wrong, 2, V{"Cannot connect to Harbell.\t"}},
      {"refused login, warnings suppressed", wrong, 3, V{}},
      {"no folder to show", Profile("/missing", "/missing-root"), 0,
       V{kNavigateFailed, "Cannot connect to Harbell.\t"}},
  };
  for (const auto& c : cases) {
    messages_.shown.clear();
    RemoteFolderPicker picker(connector_, messages_);
    picker.SetProfile(c.profile);
    picker.SetChosenFolder("/previous");
    picker.SetWarningLevel(c.warningLevel);
    EXPECT_EQ(Run(picker, nullptr), QDialog::Rejected) << c.what;
    EXPECT_EQ(picker.ChosenFolder(), "/previous") << c.what;
    EXPECT_EQ(Shown(), c.shown) << c.what;
    if (c.warningLevel < 3) {
      EXPECT_EQ(messages_.shown.back().icon, MessageIcon::Warning) << c.what;
    }
  }
}

TEST_F(RemoteFolderPickerTest, OpensAtOnceAndCancelStopsTheConnecting) {
  test::ScriptedFtpServer silent("silent");
  RemoteFolderPicker picker(connector_, messages_);
  picker.SetProfile(silent.Profile());
  bool sawConnecting = false;
  test::WhenModalOpens([&](QWidget* modal) {
    auto* dialog = static_cast<RemoteFolderPicker*>(modal);
    sawConnecting = dialog->findChild<QLabel*>("promptLabel")->text() == "Connecting..." &&
                    !dialog->findChild<QPushButton*>("okButton")->isEnabled();
    Press(*dialog, "cancelButton");
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(picker.exec(), QDialog::Rejected);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  EXPECT_TRUE(sawConnecting);
  EXPECT_TRUE(messages_.shown.empty()) << "a cancel is no failure";
}

TEST_F(RemoteFolderPickerTest, ALostConnectionReturnsTheLastFolderShown) {
  RemoteFolderPicker picker(connector_, messages_);
  picker.SetProfile(Profile("/docs"));
  picker.SetKeepAliveInterval(50ms);
  int result = Run(picker, [&](RemoteFolderPicker& dialog) {
    DoubleClick(dialog.Panel()->List(), "deep");
    server_.Stop();
    EXPECT_TRUE(WaitForGui([&] { return !dialog.Panel()->IsConnected(); }));
    Press(dialog, "okButton");
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(picker.ChosenFolder(), "/docs/deep");
}

}  // namespace
}  // namespace quillon
