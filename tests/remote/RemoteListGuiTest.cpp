// The remote list and folder combo, driven offscreen against a real FTP server (pyftpdlib):
// listing, cells, sorting, the context menu and its commands, the combo's folders.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QtTest/QTest>
#include <filesystem>

#include "ftp/CurlFtp.h"
#include "remote/ui/CFTPComboEx.h"
#include "remote/ui/CFTPList.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"
#include "support/gui/GuiTestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::FtpServer;
using V = std::vector<std::string>;

class RemoteListTest : public testing::Test {
 protected:
  RemoteListTest() : list_(connector_, messages_) { list_.SetActivityLog(&log_); }

  void SetUp() override { ASSERT_TRUE(InitCurlGlobal()); }

  // Paths below the served root; a trailing "/" makes a folder, else a file of `size` bytes.
  void Make(const std::string& path, size_t size = 0) {
    fs::path full = root_.path() / path;
    if (path.back() == '/') {
      fs::create_directories(full);
    } else {
      fs::create_directories(full.parent_path());
      test::WriteFile(full, std::string(size, 'x'));
    }
  }
  bool Exists(const std::string& path) const { return fs::exists(root_.path() / path); }

  void Serve(const std::string& permissions = "elradfmwMT") {
    server_ = std::make_unique<FtpServer>(
        FtpServer::Options{.root = root_.path(), .permissions = permissions});
  }

  // Waits until the list's connection has answered everything asked of it.
  bool Idle() {
    return test::WaitFor([&] {
      QCoreApplication::processEvents();
      return !list_.IsBusy();
    });
  }
  bool Connect(const ConnectionProfile& profile, std::string* error = nullptr) {
    std::optional<bool> result;
    list_.Session().Connect(profile, [&](bool ok, const std::string& why) {
      result = ok;
      if (error) *error = why;
    });
    EXPECT_TRUE(Idle());
    return result.value_or(false);
  }
  bool Browse(const std::string& folder) {
    std::optional<bool> result;
    list_.Browse(folder, [&](bool ok) { result = ok; });
    EXPECT_TRUE(Idle());
    return result.value_or(false);
  }

  void ConnectAndShow(const std::string& folder = "/") {
    ASSERT_TRUE(Connect(server_->Profile()));
    ASSERT_TRUE(Browse(folder));
    list_.resize(500, 300);
    list_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
  }

  V Names() const {
    V names;
    for (int i = 0; i < list_.RowCount(); ++i) names.push_back(list_.ItemAt(i)->Name());
    return names;
  }
  int Row(const std::string& name) {
    const int row = list_.RowNamed(name);
    if (row < 0) ADD_FAILURE() << "no row " << name;
    return row;
  }
  QString Cell(const std::string& name, int column) {
    return list_.model()->index(Row(name), column).data().toString();
  }
  QPoint Centre(const std::string& name) {
    return list_.visualRect(list_.model()->index(Row(name), 0)).center();
  }
  // A double click as the view receives it: press and release, then the double click.
  void DoubleClick(QPoint at) {
    QTest::mouseClick(list_.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list_.viewport(), Qt::LeftButton, {}, at);
  }
  QPoint Empty() { return QPoint(10, list_.viewport()->height() - 5); }

  void Select(std::initializer_list<std::string> names) {
    list_.clearSelection();
    for (const auto& name : names)
      list_.selectionModel()->select(list_.model()->index(Row(name), 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }

  // Right-clicks at `at`, reads the menu's entries ("-" for a separator) and chooses `choice`
  // (none: the menu is closed).
  V ContextMenu(QPoint at, const QString& choice = {}) {
    V entries;
    test::WhenPopupOpens([&](QWidget* popup) {
      auto* menu = qobject_cast<QMenu*>(popup);
      ASSERT_NE(menu, nullptr);
      for (QAction* action : menu->actions())
        entries.push_back(action->isSeparator() ? "-" : action->text().toStdString());
      for (QAction* action : menu->actions()) {
        if (!choice.isEmpty() && action->text() == choice) {
          QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
          return;
        }
      }
      menu->close();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list_.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list_.viewport(), &event);
    return entries;
  }

  // The open label editor's text; nullopt when no editor is open.
  std::optional<QString> EditedLabel() {
    auto* editor = list_.viewport()->findChild<QLineEdit*>();
    if (!editor || !editor->isVisible()) return std::nullopt;
    return editor->text();
  }

  // Types `name` into the open label editor and confirms it.
  void TypeName(const QString& name) {
    auto* editor = list_.viewport()->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr) << "no label editor open";
    editor->selectAll();
    QTest::keyClicks(editor, name);
    QTest::keyClick(editor, Qt::Key_Return);
  }

  V Shown() const {
    V texts;
    for (const auto& shown : messages_.shown) texts.push_back(shown.text);
    return texts;
  }

  test::TempDir root_;
  std::unique_ptr<FtpServer> server_;
  test::RecordingLog log_;
  CurlFtpConnector connector_{&log_};
  test::RecordingMessages messages_;
  CFTPList list_;
};

TEST_F(RemoteListTest, ShowsFoldersFirstWithTheirCellsAndRestoresTheServersFolder) {
  Make("docs/");
  Make("Zeta/");
  Make("b.txt", 1001);
  Make("a.txt", 1);
  Make("empty.dat", 0);
  Make("thousand.bin", 1000);
  // The server lists this time in its own words (UTC, as pyftpdlib does); it is shown so.
  const TimePoint stamp = std::chrono::sys_days{std::chrono::year{2024} / 1 / 5} +
                          std::chrono::hours{15} + std::chrono::minutes{4};
  const timespec times[2] = {{std::chrono::system_clock::to_time_t(stamp), 0},
                             {std::chrono::system_clock::to_time_t(stamp), 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (root_.path() / "a.txt").c_str(), times, 0), 0);
  Serve();
  ConnectAndShow();

  EXPECT_EQ(list_.CurrentFolder(), "/");
  ASSERT_EQ(list_.RowCount(), 6);
  EXPECT_TRUE(list_.ItemAt(0)->folder && list_.ItemAt(1)->folder && !list_.ItemAt(2)->folder);
  struct Cells {
    std::string name, size, date;
  } cells[] = {{"a.txt", "1 KB", "01/05/2024 03:04 PM"},
               {"thousand.bin", "1 KB", ""},
               {"b.txt", "2 KB", ""},
               {"empty.dat", "0 KB", ""},
               {"docs", "", ""}};
  for (const auto& c : cells) {
    EXPECT_EQ(Cell(c.name, 1).toStdString(), c.size) << c.name;
    if (!c.date.empty()) {
      EXPECT_EQ(Cell(c.name, 2).toStdString(), c.date) << c.name;
    }
    EXPECT_FALSE(list_.model()->index(Row(c.name), 0).data(Qt::DecorationRole).isNull()) << c.name;
  }
  EXPECT_EQ(list_.model()->headerData(2, Qt::Horizontal).toString(), "Date Modified");

  // Entering a folder lists it with full paths, and the server goes back where it was.
  Make("docs/inner.txt", 3);
  ASSERT_TRUE(Browse("/docs/"));
  EXPECT_EQ(list_.CurrentFolder(), "/docs");
  ASSERT_EQ(list_.RowCount(), 1);
  EXPECT_EQ(list_.ItemAt(0)->path, "/docs/inner.txt");
  V commands = server_->Commands();
  auto lastCwd = std::find_if(commands.rbegin(), commands.rend(),
                              [](const std::string& c) { return c.rfind("CWD ", 0) == 0; });
  ASSERT_NE(lastCwd, commands.rend());
  EXPECT_EQ(*lastCwd, "CWD /");

  // A folder that cannot be entered leaves the list as it is.
  EXPECT_FALSE(Browse("/missing"));
  EXPECT_EQ(list_.CurrentFolder(), "/docs");
  EXPECT_EQ(Names(), V{"inner.txt"});
}

TEST_F(RemoteListTest, HeaderClicksSortAndFoldersStayInFront) {
  Make("beta/");
  Make("Alpha/");
  Make("c.txt", 5);
  Make("B.txt", 3000);
  Make("a.txt", 40);
  Serve();
  ConnectAndShow();
  auto clickHeader = [&](int section) {
    QHeaderView* header = list_.header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  };
  struct Step {
    int section;
    V names;
  } steps[] = {
      {0, V{"Alpha", "beta", "a.txt", "B.txt", "c.txt"}},
      {0, V{"beta", "Alpha", "c.txt", "B.txt", "a.txt"}},
      {1, V{"Alpha", "beta", "c.txt", "a.txt", "B.txt"}},
      {1, V{"beta", "Alpha", "B.txt", "a.txt", "c.txt"}},
  };
  for (const auto& step : steps) {
    clickHeader(step.section);
    EXPECT_EQ(Names(), step.names) << "column " << step.section;
  }
  // Listing again sets the direction back to ascending.
  list_.Refresh();
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(list_.SortOrder().ascending);
}

TEST_F(RemoteListTest, ContextMenuEntriesFollowTheSelection) {
  Make("docs/");
  Make("a.txt", 1);
  Serve();
  ConnectAndShow();

  Select({"docs"});
  EXPECT_EQ(ContextMenu(Centre("docs")), (V{"Explore", "-", "Rename", "Delete"}));
  Select({"a.txt"});
  EXPECT_EQ(ContextMenu(Centre("a.txt")), (V{"Rename", "Delete"}));
  Select({"a.txt", "docs"});  // the first selected row in the list is the folder
  EXPECT_EQ(ContextMenu(Centre("a.txt")), (V{"Explore", "-", "Rename", "Delete"}));
  list_.clearSelection();
  EXPECT_EQ(ContextMenu(Empty()), (V{"NewFolder", "Refresh"}));

  // Explore opens the folder as a double click does; Refresh shows what is new.
  QSignalSpy opened(&list_, &CFTPList::rowOpened);
  Select({"docs"});
  ContextMenu(Centre("docs"), "Explore");
  DoubleClick(Centre("a.txt"));
  ASSERT_EQ(opened.count(), 2);
  EXPECT_EQ(opened[0], (QVariantList{QString("/docs"), true}));
  EXPECT_EQ(opened[1], (QVariantList{QString("/a.txt"), false}));

  Make("new.txt", 2);
  list_.clearSelection();
  ContextMenu(Empty(), "Refresh");
  ASSERT_TRUE(Idle());
  EXPECT_EQ(list_.RowCount(), 3);

  // The keys: Enter opens the current row, F5 lists again, Delete asks.
  list_.setCurrentIndex(list_.model()->index(Row("docs"), 0));
  QTest::keyClick(&list_, Qt::Key_Return);
  ASSERT_EQ(opened.count(), 3);
  EXPECT_EQ(opened[2], (QVariantList{QString("/docs"), true}));
  Make("newer.txt", 2);
  QTest::keyClick(&list_, Qt::Key_F5);
  ASSERT_TRUE(Idle());
  EXPECT_EQ(list_.RowCount(), 4);
  Select({"newer.txt"});
  messages_.QueueAnswer(MessageAnswer::No);
  QTest::keyClick(&list_, Qt::Key_Delete);
  EXPECT_EQ(Shown(), V{"Are you sure you want to delete the selected items?"});
}

TEST_F(RemoteListTest, RenameOnTheServer) {
  Make("a.txt", 1);
  Make("gone.txt", 1);
  Make("sub/");
  Serve();
  ConnectAndShow();
  QSignalSpy refreshed(&list_, &CFTPList::remoteRefresh);

  Select({"a.txt"});
  ContextMenu(Centre("a.txt"), "Rename");
  TypeName("renamed.txt");
  ASSERT_TRUE(refreshed.wait(10'000));
  EXPECT_TRUE(Exists("renamed.txt"));
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_TRUE(messages_.shown.empty());

  // Refused: a name that would move the file elsewhere, and a file that is no longer there.
  struct Case {
    std::string row;
    QString name;
    std::string message;
  } cases[] = {{"renamed.txt", "sub/moved.txt", "Cannot rename /renamed.txt"},
               {"renamed.txt", "..", "Cannot rename /renamed.txt"},
               // The server's reply says why.
               {"gone.txt", "other.txt", "Cannot rename /gone.txt\n\nRNFR /gone.txt: 550"}};
  fs::remove(root_.path() / "gone.txt");
  for (const auto& c : cases) {
    messages_.shown.clear();
    Select({c.row});
    list_.StartRename();
    TypeName(c.name);
    ASSERT_TRUE(test::WaitFor([&] {
      QCoreApplication::processEvents();
      return !messages_.shown.empty();
    }));
    ASSERT_EQ(messages_.shown.size(), 1u);
    EXPECT_EQ(messages_.shown[0].text.rfind(c.message, 0), 0u) << messages_.shown[0].text;
    EXPECT_GE(list_.RowNamed(c.row), 0);  // the row keeps its name
  }
  EXPECT_TRUE(Exists("renamed.txt"));
  EXPECT_FALSE(Exists("sub/moved.txt"));
  EXPECT_EQ(refreshed.count(), 1);
}

TEST_F(RemoteListTest, DeleteAsksThenDeletesFoldersWithTheirContentAndFiles) {
  Make("docs/inner.txt", 3);
  Make("docs/deep/x.bin", 9);
  Make("b.txt", 1);
  Make("keep.txt", 1);
  Serve();
  ConnectAndShow();
  QSignalSpy refreshed(&list_, &CFTPList::remoteRefresh);

  Select({"docs", "b.txt"});
  messages_.QueueAnswer(MessageAnswer::No);
  ContextMenu(Centre("b.txt"), "Delete");
  EXPECT_EQ(Shown(), V{"Are you sure you want to delete the selected items?"});
  EXPECT_EQ(messages_.shown[0].buttons, MessageButtons::YesNo);
  EXPECT_TRUE(Exists("docs/deep/x.bin") && Exists("b.txt"));
  EXPECT_EQ(refreshed.count(), 0);

  messages_.shown.clear();
  messages_.QueueAnswer(MessageAnswer::Yes);
  ContextMenu(Centre("b.txt"), "Delete");
  ASSERT_TRUE(refreshed.wait(10'000));
  EXPECT_EQ(Shown(), V{"Are you sure you want to delete the selected items?"});
  EXPECT_FALSE(Exists("docs"));
  EXPECT_FALSE(Exists("b.txt"));
  EXPECT_TRUE(Exists("keep.txt"));
  EXPECT_EQ(refreshed.count(), 1);
  for (const char* line : {"Delete: /docs/inner.txt", "Delete: /docs/deep/x.bin",
                           "Delete: /docs/deep", "Delete: /docs", "Delete: /b.txt"})
    EXPECT_TRUE(log_.Contains(line)) << line;
}

TEST_F(RemoteListTest, RefusedDeletesAreReportedAndTheLoopGoesOn) {
  Make("docs/inner.txt", 3);
  Make("b.txt", 1);
  Serve("elrafmwMT");  // no "d": the server deletes nothing
  ConnectAndShow();
  QSignalSpy refreshed(&list_, &CFTPList::remoteRefresh);

  Select({"docs", "b.txt"});
  messages_.QueueAnswer(MessageAnswer::Yes);
  list_.DeleteSelected();
  ASSERT_TRUE(refreshed.wait(10'000));
  // Each failure with the server's reply on a line of its own.
  ASSERT_EQ(messages_.shown.size(), 3u);
  EXPECT_EQ(messages_.shown[0].text, "Are you sure you want to delete the selected items?");
  EXPECT_EQ(
      messages_.shown[1].text.rfind("Cannot remove folder: /docs\n\nDELE /docs/inner.txt: 550", 0),
      0u)
      << messages_.shown[1].text;
  EXPECT_EQ(messages_.shown[2].text.rfind("Cannot remove file: /b.txt\n\nDELE /b.txt: 550", 0), 0u)
      << messages_.shown[2].text;
  EXPECT_TRUE(Exists("docs/inner.txt") && Exists("b.txt"));
  EXPECT_EQ(refreshed.count(), 1);
  EXPECT_FALSE(QApplication::overrideCursor());
}

TEST_F(RemoteListTest, NewFolderStartsRenamingItAndReusesAnExistingOne) {
  Make("a.txt", 1);
  Serve();
  ConnectAndShow();

  ContextMenu(Empty(), "NewFolder");
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(fs::is_directory(root_.path() / "NewFolder"));
  EXPECT_EQ(EditedLabel(), "NewFolder");
  QSignalSpy refreshed(&list_, &CFTPList::remoteRefresh);
  TypeName("Reports");
  ASSERT_TRUE(refreshed.wait(10'000));
  EXPECT_TRUE(fs::is_directory(root_.path() / "Reports"));

  Make("NewFolder/kept.txt", 1);
  list_.Refresh();
  list_.NewFolder();
  ASSERT_TRUE(Idle());
  EXPECT_EQ(EditedLabel(), "NewFolder");
  EXPECT_TRUE(Exists("NewFolder/kept.txt"));
  EXPECT_TRUE(messages_.shown.empty());
}

TEST_F(RemoteListTest, NewFolderThatCannotBeMade) {
  Make("a.txt", 1);
  Serve("elradfwMT");  // no "m": no folder can be made
  ConnectAndShow();
  list_.NewFolder();
  ASSERT_TRUE(Idle());
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text.rfind("Cannot create new folder.\n\nMKD /NewFolder: 550", 0),
            0u)
      << messages_.shown[0].text;
  EXPECT_FALSE(Exists("NewFolder"));
}

TEST_F(RemoteListTest, ConnectionFailuresLivenessAndHandOver) {
  Serve();
  ConnectionProfile wrong = server_->Profile();
  wrong.password = "not-it";
  std::string error;
  EXPECT_FALSE(Connect(wrong, &error));
  EXPECT_FALSE(list_.IsConnected());
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(Browse("/"));

  ASSERT_TRUE(Connect(server_->Profile()));
  std::optional<bool> alive;
  list_.Session().CheckAlive([&](bool answer) { alive = answer; });
  ASSERT_TRUE(test::WaitFor([&] {
    QCoreApplication::processEvents();
    return alive.has_value();
  }));
  EXPECT_TRUE(*alive);

  // Handed over, the connection belongs to the taker; the list has none left.
  std::shared_ptr<FtpConnection> taken;
  bool handed = false;
  list_.Session().HandOver([&](std::shared_ptr<FtpConnection> connection) {
    taken = std::move(connection);
    handed = true;
  });
  ASSERT_TRUE(Idle());
  ASSERT_TRUE(handed);
  ASSERT_NE(taken, nullptr);
  EXPECT_FALSE(list_.IsConnected());
  EXPECT_EQ(taken->CurrentFolder(), "/");

  // A lost server: the check says so, and nothing is handed over.
  ASSERT_TRUE(Connect(server_->Profile()));
  server_->Stop();
  alive.reset();
  list_.Session().CheckAlive([&](bool answer) { alive = answer; });
  ASSERT_TRUE(test::WaitFor([&] {
    QCoreApplication::processEvents();
    return alive.has_value();
  }));
  EXPECT_FALSE(*alive);
  handed = false;
  list_.Session().HandOver([&](std::shared_ptr<FtpConnection> connection) {
    taken = std::move(connection);
    handed = true;
  });
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(handed);
  EXPECT_EQ(taken, nullptr);
  list_.Session().Disconnect();
  EXPECT_FALSE(list_.IsConnected());
}

TEST_F(RemoteListTest, ComboHoldsTheRootItsFoldersAndTheChainToTheFolderShown) {
  Make("pub/docs/2024/");
  Make("incoming/");
  Make("file.txt", 1);
  Serve();
  ConnectAndShow();
  CFTPComboEx combo(list_);
  QSignalSpy chosen(&combo, &CFTPComboEx::folderChosen);

  combo.Rebuild("/", {"pub", "incoming"});
  ASSERT_EQ(combo.count(), 3);
  EXPECT_EQ(combo.itemText(0), "/");
  EXPECT_EQ(combo.currentIndex(), 0);
  EXPECT_EQ(combo.itemText(1), "pub");
  EXPECT_EQ(combo.itemText(2), "incoming");
  EXPECT_EQ(combo.IndentAt(1), 1);

  combo.SelectFolder("/pub/docs/2024");
  EXPECT_EQ(combo.SelectedFolder(), "/pub/docs/2024");
  EXPECT_EQ(combo.currentText(), "2024");
  EXPECT_EQ(combo.IndentAt(combo.currentIndex()), 3);
  EXPECT_EQ(combo.itemText(combo.currentIndex() - 1), "docs");
  EXPECT_EQ(chosen.count(), 0);  // only the user's choice is announced

  // The user's choice: one step up with the keyboard.
  combo.setFocus();
  QTest::keyClick(&combo, Qt::Key_Up);
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen[0][0].toString(), "/pub/docs");

  // A locked root shows its last part. Its folders come with a listing, which returns the
  // server to the folder it was in.
  std::optional<RemoteFolderListing> listing;
  list_.Session().List("/pub/docs", std::nullopt, std::string("/pub/"),
                       [&](RemoteFolderListing result) { listing = std::move(result); });
  ASSERT_TRUE(Idle());
  ASSERT_TRUE(listing && listing->ok && listing->rootFolders);
  combo.Rebuild("/pub/", *listing->rootFolders);
  ASSERT_EQ(combo.count(), 2);
  EXPECT_EQ(combo.itemText(0), "pub");
  EXPECT_EQ(combo.itemText(1), "docs");
  V commands = server_->Commands();
  auto lastCwd = std::find_if(commands.rbegin(), commands.rend(),
                              [](const std::string& c) { return c.rfind("CWD ", 0) == 0; });
  ASSERT_NE(lastCwd, commands.rend());
  EXPECT_EQ(*lastCwd, "CWD /");

  combo.ShowNotConnected();
  EXPECT_EQ(combo.count(), 0);
  EXPECT_EQ(combo.placeholderText(), "Not connected");
}

}  // namespace
}  // namespace quillon
