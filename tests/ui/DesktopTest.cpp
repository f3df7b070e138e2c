// The main window as a desktop program, on the offscreen platform: Rom Info, Recent ROMs, dropped
// files, the remembered size and place, the manual, and the command line's start.
#include <QCryptographicHash>
#include <QMimeData>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QTest>
#include <QTextBlock>
#include <QUrl>
#include <memory>

#include "common/Host.h"
#include "common/MachineState.h"
#include "memory/AddressMap.h"
#include "memory/RomImage.h"
#include "tests/support/RomBytes.h"
#include "tests/support/TempDir.h"
#include "tests/ui/WindowTestBase.h"
#include "ui/Desktop.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "ui/RomInfoDialog.h"
#include "video/RendererHost.h"

using namespace vantor;
using namespace vantor::ui;

namespace {

// A ROM whose first instruction jumps to itself: it runs until stopped, quietly.
std::vector<uint8_t> IdleRom(std::string_view name, uint8_t country = 'E') {
  auto bytes = test::BigEndianRom(
      {.name = name, .entryPoint = 0x80000400, .maker = 'N', .country = country, .size = 8196});
  const uint8_t loop[8] = {0x09, 0x00, 0x00, 0x10, 0, 0, 0, 0};  // j 0xA4000040; nop
  std::copy(std::begin(loop), std::end(loop), bytes.begin() + 0x40);
  // Checksums that differ from each other, as stored.
  const uint8_t crcs[8] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0};
  std::copy(std::begin(crcs), std::end(crcs), bytes.begin() + 16);
  return bytes;
}

QByteArray Sha256(const std::vector<uint8_t>& bytes) {
  return QCryptographicHash::hash(
             QByteArrayView(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())),
             QCryptographicHash::Sha256)
      .toHex();
}

}  // namespace

class DesktopTest : public test::TWindowTestBase {
  Q_OBJECT

 private:
  std::unique_ptr<TDesktop> desktop_;

  // The main window and its desktop parts as the program makes them, on the same settings.
  void MakeWindow() {
    desktop_.reset();
    form_.reset();
    form_ = std::make_unique<TMainForm>(*dialogs_, Settings());
    // The window's destructor ends a run, whose last status texts must not reach it then.
    host_->SetStatusSink([this](const QString& text) {
      if (form_) form_->SetSimpleText(text);
    });
    desktop_ = std::make_unique<TDesktop>(*form_, *dialogs_, Settings());
  }
  void ShowWindow() {
    form_->show();
    QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
  }
  QStringList RecentItems() const {
    desktop_->RecentMenu()->aboutToShow();
    QStringList texts;
    for (QAction* item : desktop_->RecentMenu()->actions())
      texts << (item->isSeparator() ? QString("-") : item->text());
    return texts;
  }
  void Drop(const QList<QUrl>& urls, bool expectAccepted) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at(100, 100);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form_.get(), &enter);
    QCOMPARE(enter.isAccepted(), expectAccepted);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(form_.get(), &drop);
    QCOMPARE(drop.isAccepted(), expectAccepted);
    QCoreApplication::processEvents();
  }

 private slots:
  void initTestCase() { QVERIFY(CreateMemoryBlocks()); }

  void init() {
    SetUpHost();
    MakeWindow();
    ShowWindow();
  }

  void cleanup() {
    desktop_.reset();
    TearDownHost();
  }

  // The desktop parts add to the File and Help menus and leave the rest as it was.
  void menusGainRecentRomsAndHelp() {
    QStringList fileItems;
    for (QAction* item : form_->File1->actions())
      fileItems << (item->menu() ? item->menu()->objectName() : item->objectName());
    QCOMPARE(fileItems.mid(0, 4),
             QStringList({"LoadROM1", "RecentRoms", "UnloadROM1", "ROMInfo1"}));
    QCOMPARE(desktop_->RecentMenu()->title(), QString("Recen&t ROMs"));
    QVERIFY(form_->Help2->isEnabled() && form_->Index1->isEnabled());
    QVERIFY(!form_->ROMInfo1->isEnabled());

    // Each letter underlined in a menu opens one item of it: the menu bar's and each menu's.
    QList<QList<QAction*>> menus = {form_->MainMenu1->actions()};
    for (int i = 0; i < menus.size(); ++i) {
      QStringList letters;
      for (QAction* item : menus[i]) {
        if (item->menu() != nullptr) menus << item->menu()->actions();
        const QString text = QString(item->text()).remove("&&");
        const qsizetype at = text.indexOf('&');
        if (at < 0 || at + 1 >= text.size()) continue;
        const QString letter = text.mid(at + 1, 1).toLower();
        QVERIFY2(!letters.contains(letter), qPrintable(item->text() + " repeats its letter"));
        letters << letter;
      }
    }
  }

  // The same fields for a cartridge in each of its three byte orders; the file's own order and
  // size as found.
  void romInfoInEachByteOrder() {
    const auto bigEndian = IdleRom("ROM INFO TEST", 'P');
    const QByteArray imageHash = Sha256(bigEndian);
    const struct {
      const char* file;
      std::vector<uint8_t> bytes;
      const char* order;
    } files[] = {
        {"info.z64", bigEndian, "Big-endian (80 37 12 40, .z64)"},
        {"info.v64", test::HalfwordSwapped(bigEndian), "Byte-swapped (37 80 40 12, .v64)"},
        {"info.n64", test::WordReversed(bigEndian), "Little-endian (40 12 37 80, .n64)"},
    };
    for (const auto& file : files) {
      Load(WriteRom(file.file, file.bytes));
      QVERIFY(form_->ROMInfo1->isEnabled());
      QCoreApplication::processEvents();
      form_->SetSimpleText("before");
      form_->ROMInfo1->trigger();
      // Reading the image again is no load: the status bar stays as it was.
      QCoreApplication::processEvents();
      QCOMPARE(form_->SimpleText(), QString("before"));
      auto* info = form_->findChild<TRomInfoDialog*>();
      QVERIFY(info != nullptr && info->isVisible());
      QCOMPARE(info->Field("Name"), QString("ROM INFO TEST"));
      QCOMPARE(info->Field("Entry point"), QString("80000400"));
      QCOMPARE(info->Field("Country"), QString("Europe (P, 50)"));
      QCOMPARE(info->Field("Maker"), QString("Nintendo (N, 4E)"));
      QCOMPARE(info->Field("Byte order"), QString(file.order));
      QCOMPARE(info->Field("Size"), QString("8196 bytes (8.0 kB)"));
      QCOMPARE(info->Field("Checksum 1"), QString("12345678"));
      QCOMPARE(info->Field("Checksum 2"), QString("9ABCDEF0"));
      QCOMPARE(info->Field("SHA-256"), QString::fromLatin1(imageHash));
    }
    // Gone with the ROM, and never there for a file that failed to load.
    form_->Start1->trigger();
    form_->UnloadROM1->trigger();
    QVERIFY(!form_->ROMInfo1->isEnabled());
    auto broken = bigEndian;
    broken[0] = 0x12;
    Load(WriteRom("broken.z64", broken));
    QVERIFY(!form_->ROMInfo1->isEnabled());
  }

  // Newest first, each file once, at most ten, kept across starts; a vanished file is reported
  // and removed only when the user agrees.
  void recentRoms() {
    QStringList paths;
    for (int i = 0; i < 12; ++i)
      paths << WriteRom("rom" + std::to_string(i) + ".z64", IdleRom("RECENT"));
    for (const QString& path : paths)
      Load(path);
    Load(paths[5]);
    QStringList expected{paths[5]};
    for (int i = 11; i >= 2; --i)
      if (i != 5) expected << paths[i];
    QCOMPARE(desktop_->Recent().Files(), expected);
    QCOMPARE(RecentItems().first(), QString("&1 rom5.z64"));
    QCOMPARE(RecentItems().at(9), QString("1&0 rom2.z64"));
    QCOMPARE(RecentItems().mid(10), QStringList({"-", "Clear List"}));

    // A failed load is not a recent ROM.
    auto broken = IdleRom("BROKEN");
    broken[0] = 0x12;
    Load(WriteRom("broken.z64", broken));
    QCOMPARE(desktop_->Recent().Files(), expected);
    QCOMPARE(dialogs_->errors.size(), 1);
    dialogs_->errors.clear();

    // Kept in the settings file, read back by the next window.
    MakeWindow();
    QCOMPARE(desktop_->Recent().Files(), expected);

    // Choosing an entry loads and starts it, and moves it to the top.
    desktop_->RecentMenu()->aboutToShow();
    desktop_->RecentMenu()->actions().at(3)->trigger();
    QVERIFY(form_->Engine().Exists());
    QCOMPARE(desktop_->Recent().Files().first(), expected[3]);
    form_->Button4Click();

    // A vanished file: asked, kept on No, removed on Yes, and nothing is loaded.
    const QString gone = desktop_->Recent().Files().at(1);
    QVERIFY(QFile::remove(gone));
    dialogs_->answerYes = false;
    desktop_->RecentMenu()->aboutToShow();
    desktop_->RecentMenu()->actions().at(1)->trigger();
    QCOMPARE(dialogs_->questions.size(), 1);
    QVERIFY(dialogs_->questions[0].contains(gone));
    QVERIFY(desktop_->Recent().Files().contains(gone));
    dialogs_->answerYes = true;
    desktop_->RecentMenu()->actions().at(1)->trigger();
    QVERIFY(!desktop_->Recent().Files().contains(gone));
    QCOMPARE(desktop_->Recent().Files().size(), 9);
    QVERIFY(dialogs_->errors.isEmpty());

    // Clear List empties the menu and the file.
    desktop_->RecentMenu()->aboutToShow();
    for (QAction* item : desktop_->RecentMenu()->actions())
      if (item->text() == "Clear List") item->trigger();
    QCOMPARE(RecentItems(), QStringList({"-", "Clear List"}));
    MakeWindow();
    QVERIFY(desktop_->Recent().Files().isEmpty());
  }

  // A damaged list in the settings file loses only its unusable entries.
  void damagedRecentList() {
    {
      QSettings settings(Settings(), QSettings::IniFormat);
      settings.setValue("RecentRoms/File1", "/a.z64");
      settings.setValue("RecentRoms/File2", "");
      settings.setValue("RecentRoms/File3", "/a.z64");
      settings.setValue("RecentRoms/File4", "/b.z64");
    }
    MakeWindow();
    QCOMPARE(desktop_->Recent().Files(), QStringList({"/a.z64", "/b.z64"}));
  }

  // A dropped ROM file is loaded and started; drags without a local file are refused.
  void dropLoadsAndStarts() {
    const QString rom = WriteRom("dropped.z64", IdleRom("DROPPED"));
    Drop({QUrl("https://example.org/rom.z64")}, false);
    Drop({QUrl::fromLocalFile(QString::fromStdString(dir_->Path().string()))}, false);
    QVERIFY(!RomLoaded);
    Drop({QUrl("https://example.org/rom.z64"), QUrl::fromLocalFile(rom)}, true);
    QVERIFY(RomLoaded);
    QVERIFY(form_->Engine().Exists());
    QCOMPARE(form_->windowTitle(), QString("Vantor64 0.25 - DROPPED"));
    QCOMPARE(desktop_->Recent().Files(), QStringList({rom}));

    // A dropped file that is not a ROM: Load ROM's message, nothing running.
    const QString text = WriteRom("notes.txt", {'h', 'e', 'l', 'l', 'o'});
    Drop({QUrl::fromLocalFile(text)}, true);
    QVERIFY(!form_->Engine().Exists());
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].contains("notes.txt"));
  }

  // The screen size chosen and the window's place come back at the next start; a place on no
  // screen is left to the window manager.
  void placementIsRemembered() {
    form_->N640x2401->trigger();
    form_->move(40, 30);
    desktop_->Placement().SavePosition();
    QSettings settings(Settings(), QSettings::IniFormat);
    QCOMPARE(settings.value("Window/ScreenSize").toString(), QString("640x480"));
    QCOMPARE(settings.value("Window/Position").toStringList(), QStringList({"40", "30"}));

    MakeWindow();
    desktop_->Placement().Restore();
    ShowWindow();
    QCOMPARE(form_->PaintBox1->size(), QSize(640, 480));
    QCOMPARE(form_->pos(), QPoint(40, 30));

    const QRect screen = form_->screen()->geometry();
    for (const QPoint& away : {QPoint(-5000, 40), QPoint(screen.right() - 10, 40),
                               QPoint(40, screen.bottom() + 1), QPoint(40, -3000)}) {
      QSettings(Settings(), QSettings::IniFormat)
          .setValue("Window/Position",
                    QStringList{QString::number(away.x()), QString::number(away.y())});
      MakeWindow();
      const QPoint before = form_->pos();
      desktop_->Placement().Restore();
      QCOMPARE(form_->pos(), before);
    }
    // Damaged values change nothing.
    QSettings(Settings(), QSettings::IniFormat).setValue("Window/Position", "here");
    QSettings(Settings(), QSettings::IniFormat).setValue("Window/ScreenSize", "huge");
    MakeWindow();
    desktop_->Placement().Restore();
    ShowWindow();
    QCOMPARE(form_->PaintBox1->size(), QSize(320, 240));
  }

  // In full-screen mode the window's own place is the one it had before.
  void fullScreenKeepsThePlaceBefore() {
    form_->move(50, 60);
    Load(WriteRom("full.z64", IdleRom("FULL")));
    form_->Start1->trigger();
    form_->FullScreen1->trigger();
    desktop_->Placement().SavePosition();
    QCOMPARE(QSettings(Settings(), QSettings::IniFormat).value("Window/Position").toStringList(),
             QStringList({"50", "60"}));
    form_->FullScreen1->trigger();
  }

  // Help! shows the manual from its start, Index at its contents; links between sections work.
  void helpShowsTheManual() {
    THelpWindow& help = desktop_->Help();
    QVERIFY(!help.isVisible());
    form_->Index1->trigger();
    QVERIFY(help.isVisible());
    QTextBrowser* browser = help.Browser();
    QVERIFY(browser->toPlainText().startsWith("Vantor64 user manual"));
    for (const char* section : {"Getting started", "The debugger", "Controllers", "Save states",
                                "The command line", "Where files are kept", "Troubleshooting"})
      QVERIFY2(browser->toPlainText().contains(section), section);
    QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);
    form_->Help2->trigger();
    QCOMPARE(browser->verticalScrollBar()->value(), 0);

    // Every link of the contents leads to a heading of the manual.
    QStringList anchors;
    for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
      for (auto it = block.begin(); !it.atEnd(); ++it)
        anchors << it.fragment().charFormat().anchorNames();
    QVERIFY(anchors.contains("contents"));
    for (const char* target : {"getting-started", "file", "save-states", "vantor64-cli",
                               "where-files-are-kept", "troubleshooting"})
      QVERIFY2(anchors.contains(target), target);
    QCOMPARE(THelpWindow::HeadingAnchor("Save states & speed"), QString("save-states--speed"));
  }

  // Every link of the built-in pages leads to a page the program has and to a heading on it; a
  // link to another page opens that page at its heading, and Help! comes back to the manual.
  void helpLinksLeadToPagesAndHeadings() {
    THelpWindow& help = desktop_->Help();
    form_->Help2->trigger();
    TManualBrowser* browser = help.Browser();
    const auto anchorsAndLinks = [browser](QStringList& anchors, QStringList& links) {
      for (QTextBlock block = browser->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
          const QTextCharFormat format = it.fragment().charFormat();
          anchors << format.anchorNames();
          if (!format.anchorHref().isEmpty()) links << format.anchorHref();
        }
    };
    int otherPages = 0;
    for (const char* page :
         {"qrc:/docs/manual.md", "qrc:/docs/runner.md", "qrc:/docs/accurate-hardware.md"}) {
      browser->setSource(QUrl(page));
      QVERIFY2(!browser->toPlainText().isEmpty(), page);
      QStringList anchors, links;
      anchorsAndLinks(anchors, links);
      for (const QString& link : links) {
        const QUrl url = browser->source().resolved(QUrl(link));
        if (url.scheme() == "https" || url.scheme() == "http" || url.scheme() == "mailto") continue;
        QVERIFY2(url.scheme() == "qrc", qPrintable(page + (" links to " + link)));
        if (url.adjusted(QUrl::RemoveFragment) ==
            browser->source().adjusted(QUrl::RemoveFragment)) {
          QVERIFY2(anchors.contains(url.fragment()), qPrintable(link));
          continue;
        }
        ++otherPages;
        QVERIFY2(QFile::exists(":" + url.path()), qPrintable(page + (" links to " + link)));
        TManualBrowser other;
        other.setSource(url);
        QStringList otherAnchors;
        const QTextDocument* document = other.document();
        for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
          for (auto it = block.begin(); !it.atEnd(); ++it)
            otherAnchors << it.fragment().charFormat().anchorNames();
        if (url.hasFragment()) QVERIFY2(otherAnchors.contains(url.fragment()), qPrintable(link));
      }
    }
    QVERIFY(otherPages >= 3);

    browser->setSource(QUrl("qrc:/docs/manual.md"));
    browser->setSource(QUrl("runner.md#input-scripts"));
    QVERIFY(browser->toPlainText().startsWith("vantor64-cli, the headless runner"));
    QTRY_VERIFY(browser->verticalScrollBar()->value() > 0);
    form_->Help2->trigger();
    QVERIFY(browser->toPlainText().startsWith("Vantor64 user manual"));
    QCOMPARE(browser->verticalScrollBar()->value(), 0);
  }

  // Closing the main window closes the program's other windows, so the program ends with it.
  void closingTheMainWindowClosesTheOthers() {
    form_->show();
    form_->Help2->trigger();
    QWidget other;
    other.show();
    QVERIFY(desktop_->Help().isVisible());
    QVERIFY(form_->close());
    QVERIFY(!desktop_->Help().isVisible());
    QVERIFY(!other.isVisible());
  }

  // The command line's start: paused before the first instruction, or running full-screen.
  void commandLineStart() {
    const QString rom = WriteRom("start.z64", IdleRom("START"));
    desktop_->Begin({.rom = rom, .fullScreen = false, .paused = true});
    QVERIFY(form_->Engine().Exists());
    QTRY_VERIFY(form_->Engine().Paused());
    QCOMPARE(PC.Lo, 0xA4000040u);
    QVERIFY(form_->Pause1->isChecked() && !form_->Start1->isEnabled());
    QCOMPARE(form_->SimpleText(), QString("Emulation Paused"));
    form_->Pause1->trigger();
    QTRY_VERIFY(!form_->Engine().Paused());
    form_->Button4Click();
    QCOMPARE(desktop_->Recent().Files(), QStringList({rom}));

    desktop_->Begin({.rom = rom, .fullScreen = true, .paused = false});
    QVERIFY(form_->Engine().Exists());
    QVERIFY(form_->FullScreen1->isChecked());
    form_->FullScreen1->trigger();

    // A ROM that cannot be loaded: Load ROM's message, the window stays, nothing full-screen.
    form_->UnloadROM1->trigger();
    desktop_->Begin({.rom = rom + ".missing", .fullScreen = true, .paused = false});
    QCOMPARE(dialogs_->errors.size(), 1);
    QVERIFY(dialogs_->errors[0].startsWith("Cannot open file"));
    QVERIFY(!form_->FullScreen1->isChecked() && !form_->Engine().Exists());
    QVERIFY(form_->isVisible());
  }
};

QTEST_MAIN(DesktopTest)
#include "DesktopTest.moc"
