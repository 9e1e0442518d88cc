#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "localfs/LocalPaths.h"
#include "localfs/ui/CDirComboEx.h"
#include "localfs/ui/CDirList.h"
#include "localfs/ui/LocalBrowserPanel.h"
#include "support/TestSupport.h"

namespace quillon {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WaitFor;
using test::WriteFile;

class RecordingLauncher : public LocalLauncher {
 public:
  bool Open(const std::string& path) override {
    opened.push_back(path);
    return succeed;
  }
  std::vector<std::string> opened;
  bool succeed = true;
};

bool Pump(const std::function<bool()>& done) {
  return WaitFor([&] {
    QApplication::processEvents();
    return done();
  });
}

// A folder with files of telling sizes, two folders, a hidden file and a link to a folder
// outside it; the trash lives in a private XDG_DATA_HOME.
class LocalBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* saved = std::getenv("XDG_DATA_HOME");
    savedData_ = saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("XDG_DATA_HOME", dir_.file("xdg").c_str(), 1);
    root_ = fs::canonical(dir_.path()).string() + "/shown";
    fs::create_directories(root_ + "/Sub/inner");
    fs::create_directories(root_ + "/alpha");
    fs::create_directories(dir_.file("target"));
    WriteFile(dir_.file("target/precious"), "precious");
    WriteFile(root_ + "/Sub/inner/f", "inside");
    WriteFile(root_ + "/one byte", "x");
    WriteFile(root_ + "/empty", "");
    WriteFile(root_ + "/big.bin", std::string(1001, 'b'));
    WriteFile(root_ + "/.secret", "hidden");
    fs::create_directory_symlink(dir_.file("target"), root_ + "/dirlink");
    list_.SetLauncher(launcher_);
    list_.resize(500, 400);
    list_.show();
  }
  void TearDown() override {
    if (savedData_)
      setenv("XDG_DATA_HOME", savedData_->c_str(), 1);
    else
      unsetenv("XDG_DATA_HOME");
  }

  std::string Trash(const std::string& rest) const { return dir_.file("xdg/Trash/" + rest); }

  std::vector<std::string> Column(int column) const {
    std::vector<std::string> texts;
    for (int row = 0; row < list_.model()->rowCount(); ++row)
      texts.push_back(list_.model()->index(row, column).data().toString().toStdString());
    return texts;
  }
  std::vector<std::string> Names() const { return Column(0); }

  std::vector<std::string> SelectedNames() const {
    std::vector<std::string> names;
    for (const auto& entry : list_.SelectedEntries()) names.push_back(entry.name);
    return names;
  }

  QPoint RowCentre(const std::string& name) const {
    const auto& entries = list_.Entries();
    for (size_t row = 0; row < entries.size(); ++row)
      if (entries[row].name == name)
        return list_.visualRect(list_.model()->index(static_cast<int>(row), 0)).center();
    ADD_FAILURE() << "no row " << name;
    return {};
  }

  bool Has(const std::string& name) const {
    auto names = Names();
    return std::find(names.begin(), names.end(), name) != names.end();
  }
  // What a mouse sends for a double click: press, release, double click, release.
  void DoubleClick(QPoint at) {
    QTest::mouseClick(list_.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list_.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list_.viewport(), Qt::LeftButton, {}, at);
  }
  QPoint EmptySpot() const { return QPoint(20, list_.viewport()->height() - 5); }

  void Select(std::initializer_list<std::string> names) {
    list_.clearSelection();
    for (const auto& name : names)
      QTest::mouseClick(list_.viewport(), Qt::LeftButton, Qt::ControlModifier, RowCentre(name));
  }

  // Opens the context menu at `at` (viewport coordinates), returns its entries ("-" for a
  // separator) and chooses the action named `choose` (none: the menu is closed).
  std::vector<std::string> Menu(QPoint at, const QString& choose = {}) {
    std::vector<std::string> texts;
    bool seen = false;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (!menu) return;
      seen = true;
      for (QAction* action : menu->actions())
        texts.push_back(action->isSeparator() ? "-" : action->text().toStdString());
      QAction* action = menu->findChild<QAction*>(choose);
      if (action) {
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
      } else {
        menu->close();
      }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list_.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list_.viewport(), &event);
    EXPECT_TRUE(seen);
    return texts;
  }

  QLineEdit* Editor() const {
    if (!list_.IsEditingName()) return nullptr;
    // A closed editor lingers hidden until it is deleted.
    for (auto* editor : list_.viewport()->findChildren<QLineEdit*>())
      if (editor->isVisible()) return editor;
    return nullptr;
  }

  void Type(const QString& text) {
    QLineEdit* editor = Editor();
    ASSERT_NE(editor, nullptr);
    editor->clear();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
  }

  TempDir dir_;
  std::optional<std::string> savedData_;
  std::string root_;
  test::RecordingMessages messages_;
  RecordingLauncher launcher_;
  CDirList list_{messages_};
};

using Strings = std::vector<std::string>;

TEST_F(LocalBrowserTest, ShowsTheFolderSortedByNameWithItsColumns) {
  fs::last_write_time(root_ + "/one byte",
                      fs::file_time_type::clock::from_sys(FromLocalTime(2024, 3, 9, 14, 5, 0)));
  QSignalSpy shown(&list_, &CDirList::folderShown);
  ASSERT_TRUE(list_.ShowFolder(root_ + "/./Sub/..//"));
  EXPECT_EQ(list_.CurrentFolder(), root_);
  ASSERT_EQ(shown.count(), 1);
  EXPECT_EQ(shown[0][0].value<std::string>(), root_);

  auto* header = list_.header();
  EXPECT_EQ(list_.model()->headerData(0, Qt::Horizontal).toString(), "Name");
  EXPECT_EQ(list_.model()->headerData(1, Qt::Horizontal).toString(), "Size");
  EXPECT_EQ(list_.model()->headerData(2, Qt::Horizontal).toString(), "Date Modified");
  // Columns are as wide as their texts, never narrower than the classic 180, 50 and 120.
  EXPECT_GE(header->sectionSize(0), 180);
  EXPECT_GE(header->sectionSize(1), 50);
  EXPECT_GE(header->sectionSize(2), 120);
  EXPECT_EQ(list_.model()->index(0, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
            Qt::AlignRight);

  EXPECT_EQ(Names(), (Strings{"alpha", "dirlink", "Sub", "big.bin", "empty", "one byte"}));
  EXPECT_EQ(Column(1), (Strings{"", "", "", "2 KB", "", "1 KB"}));
  EXPECT_EQ(Column(2)[5], "03/09/2024 02:05 PM");
  EXPECT_EQ(list_.Entries()[5].path, root_ + "/one byte");
  EXPECT_EQ(header->sortIndicatorSection(), 0);
  EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
}

TEST_F(LocalBrowserTest, FoldersThatCannotBeShownLeaveTheListWhereItWas) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  struct Case {
    std::string path;
    std::string error;
  } cases[] = {
      {"relative/folder", "Not an absolute path"},
      {root_ + "/missing", "No such file or directory"},
      {root_ + "/one byte", "Not a directory"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(list_.ShowFolder(c.path)) << c.path;
    EXPECT_EQ(list_.ErrorText(), c.error) << c.path;
    EXPECT_EQ(list_.CurrentFolder(), root_);
    EXPECT_EQ(Names().size(), 6u) << c.path;
    EXPECT_TRUE(list_.Placeholder().isEmpty());
  }
  // A folder that goes away while shown says so rather than showing an empty list, and Up
  // still leads back.
  ASSERT_TRUE(list_.ShowFolder(root_ + "/alpha"));
  fs::remove(root_ + "/alpha");
  EXPECT_FALSE(list_.Refresh());
  EXPECT_EQ(Names().size(), 0u);
  EXPECT_EQ(list_.Placeholder().toStdString(),
            "Cannot open folder \"" + root_ + "/alpha\": No such file or directory");
  EXPECT_TRUE(list_.UpOneLevel());
  EXPECT_EQ(list_.CurrentFolder(), root_);
  EXPECT_TRUE(list_.Placeholder().isEmpty());
}

TEST_F(LocalBrowserTest, SizeColumnFitsItsWidestText) {
  WriteFile(root_ + "/wide.bin", std::string(200'000, 'w'));
  ASSERT_TRUE(list_.ShowFolder(root_));
  const int needed = list_.fontMetrics().horizontalAdvance("200 KB");
  EXPECT_GT(list_.header()->sectionSize(1), needed);
  EXPECT_EQ(Column(1)[3], "2 KB");
}

TEST_F(LocalBrowserTest, UpGoesToTheParentAndStopsAtTheTop) {
  ASSERT_TRUE(list_.ShowFolder(root_ + "/dirlink"));
  EXPECT_EQ(Names(), Strings{"precious"});
  EXPECT_TRUE(list_.UpOneLevel());  // the link's folder, not the target's
  EXPECT_EQ(list_.CurrentFolder(), root_);
  ASSERT_TRUE(list_.ShowFolder("/"));
  QSignalSpy shown(&list_, &CDirList::folderShown);
  EXPECT_FALSE(list_.UpOneLevel());
  EXPECT_EQ(list_.CurrentFolder(), "/");
  EXPECT_EQ(shown.count(), 0);
}

TEST_F(LocalBrowserTest, HeaderClicksSortAndKeepTheSelection) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  Select({"big.bin", "Sub"});
  auto Click = [&](int section) {
    auto* header = list_.header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
  };
  struct Step {
    int section;
    Strings order;
    Qt::SortOrder indicator;
  } steps[] = {
      {0, {"Sub", "dirlink", "alpha", "one byte", "empty", "big.bin"}, Qt::DescendingOrder},
      {0, {"alpha", "dirlink", "Sub", "big.bin", "empty", "one byte"}, Qt::AscendingOrder},
      {1, {"alpha", "dirlink", "Sub", "empty", "one byte", "big.bin"}, Qt::AscendingOrder},
      {1, {"Sub", "dirlink", "alpha", "big.bin", "one byte", "empty"}, Qt::DescendingOrder},
  };
  for (const auto& s : steps) {
    Click(s.section);
    EXPECT_EQ(Names(), s.order);
    EXPECT_EQ(list_.header()->sortIndicatorSection(), s.section);
    EXPECT_EQ(list_.header()->sortIndicatorOrder(), s.indicator);
    std::set<std::string> selected;
    for (const auto& name : SelectedNames()) selected.insert(name);
    EXPECT_EQ(selected, (std::set<std::string>{"big.bin", "Sub"}));
  }
  // Showing a folder starts again by name, ascending.
  list_.Refresh();
  EXPECT_EQ(Names(), (Strings{"alpha", "dirlink", "Sub", "big.bin", "empty", "one byte"}));
}

TEST_F(LocalBrowserTest, DoubleClickEnterAndExploreReportTheItem) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  QSignalSpy activated(&list_, &CDirList::itemDoubleClicked);
  DoubleClick(RowCentre("Sub"));
  ASSERT_EQ(activated.count(), 1);
  EXPECT_EQ(activated[0][0].value<LocalEntry>().path, root_ + "/Sub");
  EXPECT_FALSE(list_.IsEditingName());  // a double click opens, not edits

  QTest::mouseClick(list_.viewport(), Qt::LeftButton, {}, RowCentre("one byte"));
  QTest::keyClick(&list_, Qt::Key_Return);
  ASSERT_EQ(activated.count(), 2);
  EXPECT_EQ(activated[1][0].value<LocalEntry>().name, "one byte");

  Select({"dirlink", "one byte"});
  EXPECT_EQ(Menu(RowCentre("dirlink"), "exploreAction"),
            (Strings{"&Open", "E&xplore", "-", "&Delete", "Rename"}));
  ASSERT_EQ(activated.count(), 3);
  EXPECT_TRUE(activated[2][0].value<LocalEntry>().linkToFolder);

  // Double-clicking beside the items reports nothing.
  DoubleClick(EmptySpot());
  EXPECT_EQ(activated.count(), 3);
}

TEST_F(LocalBrowserTest, SelectionClicksAndFocusAreReported) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  QSignalSpy clicked(&list_, &CDirList::listClicked);
  QSignalSpy changed(&list_, &CDirList::selectedItemsChanged);
  QSignalSpy focus(&list_, &CDirList::focusEntered);
  Select({"one byte", "alpha", "empty"});
  EXPECT_EQ(clicked.count(), 3);
  EXPECT_GE(changed.count(), 3);
  EXPECT_EQ(SelectedNames(), (Strings{"alpha", "empty", "one byte"}));  // in list order
  EXPECT_TRUE(list_.HasSelection());
  // A right press on a selected item keeps the selection for the menu; on another item it
  // selects that one alone.
  QTest::mouseClick(list_.viewport(), Qt::RightButton, {}, RowCentre("empty"));
  EXPECT_EQ(SelectedNames(), (Strings{"alpha", "empty", "one byte"}));
  QTest::mouseClick(list_.viewport(), Qt::RightButton, {}, RowCentre("Sub"));
  EXPECT_EQ(SelectedNames(), Strings{"Sub"});
  QTest::mouseClick(list_.viewport(), Qt::LeftButton, {}, EmptySpot());
  EXPECT_EQ(clicked.count(), 6);
  EXPECT_FALSE(list_.HasSelection());

  QLineEdit elsewhere;
  elsewhere.show();
  QApplication::setActiveWindow(&elsewhere);
  elsewhere.setFocus();
  QApplication::setActiveWindow(&list_);
  list_.setFocus();
  EXPECT_TRUE(Pump([&] { return focus.count() >= 1; }));
}

TEST_F(LocalBrowserTest, MenuWithoutASelectionMakesANewFolderAndRefreshes) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  Select({"one byte"});
  QSignalSpy refresh(&list_, &CDirList::localRefresh);
  // A right click beside the items drops the selection: the menu is for the folder.
  EXPECT_EQ(Menu(EmptySpot(), "newFolderAction"), (Strings{"New Folder", "Refresh"}));
  EXPECT_TRUE(fs::is_directory(root_ + "/New Folder"));
  EXPECT_EQ(refresh.count(), 1);
  EXPECT_EQ(SelectedNames(), Strings{"New Folder"});
  Type("Reports");
  EXPECT_TRUE(Pump([&] { return fs::is_directory(root_ + "/Reports"); }));
  EXPECT_FALSE(fs::exists(root_ + "/New Folder"));
  EXPECT_EQ(SelectedNames(), Strings{"Reports"});
  EXPECT_EQ(refresh.count(), 2);  // a folder was renamed

  // The name is taken: the next free one is made; leaving the editor keeps it.
  fs::create_directories(root_ + "/New Folder");
  list_.clearSelection();
  list_.RunCommand(LocalCommand::NewFolder);
  EXPECT_TRUE(fs::is_directory(root_ + "/New Folder (2)"));
  ASSERT_NE(Editor(), nullptr);
  QTest::keyClick(Editor(), Qt::Key_Escape);
  QApplication::processEvents();
  EXPECT_TRUE(fs::is_directory(root_ + "/New Folder (2)"));

  // Refresh picks up what changed outside.
  WriteFile(root_ + "/appeared", "");
  Menu(EmptySpot(), "refreshAction");
  EXPECT_EQ(list_.model()->rowCount(), 10);
  EXPECT_TRUE(messages_.shown.empty());

  fs::remove_all(root_);
  list_.RunCommand(LocalCommand::NewFolder);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text,
            "Cannot create folder \"New Folder\": No such file or directory");
}

TEST_F(LocalBrowserTest, RenameInPlace) {
  struct Case {
    std::string item;
    QString typed;
    std::string after;    // the name afterwards
    std::string message;  // "" when none
    int refreshes;        // localRefresh for a renamed folder
  } cases[] = {
      {"one byte", "renamed.txt", "renamed.txt", "", 0},
      {"renamed.txt", "empty", "renamed.txt", "Cannot rename \"renamed.txt\"", 0},
      {"renamed.txt", "a/b", "renamed.txt", "Cannot rename \"renamed.txt\"", 0},
      {"renamed.txt", "", "renamed.txt", "", 0},
      {"alpha", "Beta", "Beta", "", 1},
      {"dirlink", "link2", "link2", "", 1},
      {"caf\xE9", "cafe", "cafe", "", 0},  // a name that is not UTF-8 keeps its bytes
  };
  WriteFile(root_ + "/caf\xE9", "latin-1");
  ASSERT_TRUE(list_.ShowFolder(root_));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item + " -> " + c.typed.toStdString());
    messages_.shown.clear();
    QSignalSpy refresh(&list_, &CDirList::localRefresh);
    Select({c.item});
    Menu(RowCentre(c.item), "renameAction");
    Type(c.typed);
    EXPECT_TRUE(Pump([&] {
      return fs::exists(fs::symlink_status(root_ + "/" + c.after)) && Has(c.after) &&
             (c.message.empty() || !messages_.shown.empty());
    }));
    if (c.after != c.item) {
      EXPECT_FALSE(fs::exists(fs::symlink_status(root_ + "/" + c.item)));
    }
    EXPECT_EQ(messages_.shown.empty() ? "" : messages_.shown[0].text, c.message);
    EXPECT_EQ(refresh.count(), c.refreshes);
  }
  EXPECT_EQ(ReadFile(root_ + "/renamed.txt"), "x");
  EXPECT_EQ(ReadFile(root_ + "/cafe"), "latin-1");
  EXPECT_EQ(ReadFile(root_ + "/empty"), "");
  EXPECT_TRUE(fs::is_symlink(root_ + "/link2"));
  EXPECT_EQ(ReadFile(dir_.file("target/precious")), "precious");
}

TEST_F(LocalBrowserTest, DeleteAsksThenMovesToTheTrashAndNeverFollowsALink) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  QSignalSpy refresh(&list_, &CDirList::localRefresh);
  Select({"one byte", "dirlink", "Sub"});
  messages_.QueueAnswer(MessageAnswer::No);
  Menu(RowCentre("Sub"), "deleteAction");
  EXPECT_EQ(Names().size(), 6u) << "No keeps everything";
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text,
            "Are you sure you want to move the selected items to the trash?");
  EXPECT_EQ(messages_.shown[0].buttons, MessageButtons::YesNo);
  messages_.shown.clear();

  EXPECT_EQ(Menu(RowCentre("Sub"), "deleteAction"),
            (Strings{"&Open", "E&xplore", "-", "&Delete", "Rename"}));
  EXPECT_EQ(Names(), (Strings{"alpha", "big.bin", "empty"}));
  EXPECT_EQ(refresh.count(), 1);
  ASSERT_EQ(messages_.shown.size(), 1u) << "only the question";
  EXPECT_EQ(ReadFile(Trash("files/one byte")), "x");
  EXPECT_EQ(ReadFile(Trash("files/Sub/inner/f")), "inside");
  EXPECT_TRUE(fs::is_symlink(Trash("files/dirlink")));
  EXPECT_EQ(ReadFile(dir_.file("target/precious")), "precious");
  EXPECT_NE(ReadFile(Trash("info/dirlink.trashinfo")).find("Path=" + root_ + "/dirlink\n"),
            std::string::npos);

  // A trash that cannot be used: nothing is deleted, the first failure is shown, the rest
  // of the selection is not tried.
  WriteFile(dir_.file("blocked"), "");
  setenv("XDG_DATA_HOME", dir_.file("blocked").c_str(), 1);
  Select({"big.bin", "empty"});
  messages_.shown.clear();
  list_.RunCommand(LocalCommand::Delete);
  ASSERT_EQ(messages_.shown.size(), 2u);
  EXPECT_EQ(messages_.shown[1].text.rfind("Cannot move \"big.bin\" to the trash: ", 0), 0u)
      << messages_.shown[1].text;
  EXPECT_EQ(Names(), (Strings{"alpha", "big.bin", "empty"}));
  EXPECT_EQ(refresh.count(), 2);
}

TEST_F(LocalBrowserTest, OpenHandsEachSelectedItemToTheDesktop) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  Select({"one byte", "Sub"});
  EXPECT_EQ(Menu(RowCentre("one byte"), "openAction"),
            (Strings{"&Open", "E&xplore", "-", "&Delete", "Rename"}));
  EXPECT_EQ(launcher_.opened, (Strings{root_ + "/Sub", root_ + "/one byte"}));
  EXPECT_TRUE(messages_.shown.empty());

  launcher_.opened.clear();
  launcher_.succeed = false;
  Select({"one byte", "big.bin"});
  EXPECT_EQ(Menu(RowCentre("one byte"), "openAction"),
            (Strings{"&Open", "-", "&Delete", "Rename"}));
  EXPECT_EQ(launcher_.opened, Strings{root_ + "/big.bin"});  // stops at the first refusal
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text, "Cannot open \"big.bin\"");
}

TEST_F(LocalBrowserTest, KeysOfADesktopFileList) {
  ASSERT_TRUE(list_.ShowFolder(root_));
  QSignalSpy opened(&list_, &CDirList::itemDoubleClicked);
  QSignalSpy up(&list_, &FileListView::upRequested);
  QSignalSpy back(&list_, &FileListView::backRequested);
  QSignalSpy forward(&list_, &FileListView::forwardRequested);
  list_.setFocus();
  Select({"big.bin"});
  QTest::keyClick(&list_, Qt::Key_Return);
  QTest::keyClick(&list_, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(opened.count(), 2);
  QTest::keyClick(&list_, Qt::Key_Backspace);
  QTest::keyClick(&list_, Qt::Key_Up, Qt::AltModifier);
  EXPECT_EQ(up.count(), 2);
  QTest::keyClick(&list_, Qt::Key_Left, Qt::AltModifier);
  QTest::keyClick(&list_, Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(back.count(), 1);
  EXPECT_EQ(forward.count(), 1);

  // F5 shows the folder again; Delete asks, then trashes.
  WriteFile(root_ + "/appeared", "");
  QTest::keyClick(&list_, Qt::Key_F5);
  EXPECT_TRUE(Has("appeared"));
  Select({"appeared"});
  messages_.QueueAnswer(MessageAnswer::Yes);
  QTest::keyClick(&list_, Qt::Key_Delete);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_FALSE(Has("appeared"));
  EXPECT_TRUE(fs::exists(Trash("files/appeared")));
}

TEST_F(LocalBrowserTest, ThePanelNavigatesAndStaysWhereItWasBeforeAFolderItCannotRead) {
  list_.hide();
  LocalBrowserPanel panel(messages_);
  panel.List().SetLauncher(launcher_);
  panel.resize(600, 400);
  panel.show();
  auto enabled = [&](const char* name) { return panel.findChild<QWidget*>(name)->isEnabled(); };
  ASSERT_TRUE(panel.GoTo(root_));
  EXPECT_TRUE(enabled("upButton"));
  EXPECT_FALSE(enabled("backButton"));

  EXPECT_FALSE(panel.Open(root_ + "/missing"));
  EXPECT_EQ(panel.CurrentFolder(), root_);
  ASSERT_EQ(messages_.shown.size(), 1u);
  EXPECT_EQ(messages_.shown[0].text,
            "Cannot open folder \"" + root_ + "/missing\": No such file or directory");

  // A folder opened in the list is a visit; Back and Forward move; Up goes to the parent.
  emit panel.List().itemDoubleClicked(panel.List().Entries()[2]);  // "Sub"
  EXPECT_EQ(panel.CurrentFolder(), root_ + "/Sub");
  EXPECT_EQ(panel.Combo().CurrentFolder(), root_ + "/Sub");
  QTest::mouseClick(panel.findChild<QToolButton*>("backButton"), Qt::LeftButton);
  EXPECT_EQ(panel.CurrentFolder(), root_);
  EXPECT_TRUE(enabled("forwardButton"));
  QTest::keyClick(&panel.List(), Qt::Key_Right, Qt::AltModifier);
  EXPECT_EQ(panel.CurrentFolder(), root_ + "/Sub");
  QTest::keyClick(&panel.List(), Qt::Key_Backspace);
  EXPECT_EQ(panel.CurrentFolder(), root_);
  EXPECT_EQ(panel.History().entries(), (Strings{root_, root_ + "/Sub", root_}));

  // A file opens on the desktop; renaming a folder starts the history again.
  emit panel.List().itemDoubleClicked(panel.List().Entries()[5]);  // "one byte"
  EXPECT_EQ(launcher_.opened, Strings{root_ + "/one byte"});
  QSignalSpy reset(&panel, &BrowserPanel::historyReset);
  emit panel.List().localRefresh();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(panel.History().entries(), Strings{root_});
}

TEST(LocalFolderCombo, ShowsTheTopAndTheChainDownToAFolder) {
  TempDir dir;
  std::string deep = fs::canonical(dir.path()).string() + "/.hidden/Sub";
  fs::create_directories(deep);
  CDirComboEx combo;
  std::vector<std::string> top;
  auto listing = ListShownEntries("/");
  ASSERT_TRUE(listing);
  for (const auto& entry : *listing)
    if (IsShownAsFolder(entry)) top.push_back(entry.name);
  ASSERT_EQ(combo.count(), static_cast<int>(top.size()) + 1);
  EXPECT_EQ(combo.itemText(0), "/");
  EXPECT_EQ(combo.IndentAt(0), 0);
  EXPECT_EQ(combo.currentIndex(), 0);
  for (size_t i = 0; i < top.size(); ++i) {
    EXPECT_EQ(combo.itemText(static_cast<int>(i) + 1).toStdString(), top[i]);
    EXPECT_EQ(combo.IndentAt(static_cast<int>(i) + 1), 1);
  }

  QSignalSpy chosen(&combo, &CDirComboEx::folderChosen);
  QSignalSpy index(&combo, &QComboBox::currentIndexChanged);
  ASSERT_TRUE(combo.SelectFolder(deep + "/"));
  EXPECT_EQ(index.count(), 1);
  EXPECT_EQ(chosen.count(), 0);  // the program's choice, not the user's
  EXPECT_EQ(combo.CurrentFolder(), deep);
  EXPECT_EQ(combo.currentText(), "Sub");
  int levels = static_cast<int>(FolderLevels(deep).size());
  EXPECT_EQ(combo.IndentAt(combo.currentIndex()), levels);
  EXPECT_EQ(combo.FolderAt(combo.currentIndex() - 1), deep.substr(0, deep.rfind('/')));
  EXPECT_EQ(combo.count(), static_cast<int>(top.size()) + 1 + levels - 1);  // first level listed

  EXPECT_FALSE(combo.SelectFolder("not/absolute"));
  EXPECT_EQ(combo.CurrentFolder(), deep);

  // The user steps up one item: the owner hears of the folder.
  combo.setFocus();
  QTest::keyClick(&combo, Qt::Key_Up);
  ASSERT_EQ(chosen.count(), 1);
  EXPECT_EQ(chosen[0][0].value<std::string>(), deep.substr(0, deep.rfind('/')));

  ASSERT_TRUE(combo.SelectFolder("/"));
  EXPECT_EQ(combo.currentIndex(), 0);
  EXPECT_EQ(combo.count(), static_cast<int>(top.size()) + 1);
}

}  // namespace
}  // namespace quillon
