// The desktop program's parts apart from the main window: pictures, settings, dialog filters,
// the debug console, the about window and the host's queue.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <vector>

#include "common/DebugLog.h"
#include "common/Host.h"
#include "debugger/DbgWnd.h"
#include "tests/support/CaptureHost.h"
#include "tests/support/FifoRescue.h"
#include "tests/support/TempDir.h"
#include "tests/ui/Patience.h"
#include "tests/ui/TestDialogs.h"
#include "ui/Credits.h"
#include "ui/Dialogs.h"
#include "ui/JpegImage.h"
#include "ui/QtHost.h"
#include "ui/Settings.h"

using namespace vantor;
using namespace vantor::ui;

class PartsTest : public QObject {
  Q_OBJECT

 private slots:
  void picturesDecode() {
    const QImage startup = LoadPicture(":/assets/startup.jpg", QSize(1, 1));
    QCOMPARE(startup.size(), QSize(320, 240));
    QCOMPARE(LoadPicture(":/assets/about.jpg", QSize(1, 1)).size(), QSize(340, 110));
    // The title is drawn in bright green on a dark sky.
    int green = 0;
    for (int x = 0; x < 320; ++x)
      if (qGreen(startup.pixel(x, 45)) > 200 && qRed(startup.pixel(x, 45)) < 80) ++green;
    QVERIFY(green > 20);
  }

  void missingOrCorruptPictureIsBlack() {
    QFile file(":/assets/startup.jpg");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();

    QVERIFY(DecodeJpeg(QByteArray("not a picture at all")).isNull());
    QVERIFY(DecodeJpeg(QByteArray()).isNull());
    QVERIFY(DecodeJpeg(good.left(100)).isNull());  // the header ends before the frame
    // A cut picture decodes what is there or nothing; it must not fault.
    DecodeJpeg(good.left(good.size() / 2));

    for (const QString& path : {QString(":/assets/none.jpg"), QString("/no/such/file.jpg")}) {
      const QImage black = LoadPicture(path, QSize(32, 24));
      QCOMPARE(black.size(), QSize(32, 24));
      QCOMPARE(black.pixelColor(5, 5), QColor(Qt::black));
    }
  }

  void fileFilters() {
    QCOMPARE(QtFileFilter("BMP|*.bmp"), QString("BMP (*.bmp)"));
    QCOMPARE(QtFileFilter("A|*.a;*.b|All|*.*"), QString("A (*.a *.b);;All (*)"));
    // A text with its own list of patterns shows Qt's list once, in place of its own.
    QCOMPARE(QtFileFilter("Roms (*.v64, *.BIN)|*.v64;*.bin|All files (*.*)|*.*"),
             QString("Roms (*.v64 *.bin);;All files (*)"));
  }

  void settingsFile() {
    test::TempDir exeDir, configDir;
    const QString exe = QString::fromStdString(exeDir.Path().string());
    const QString config = QString::fromStdString(configDir.Path().string());
    QCOMPARE(SettingsFilePath(exe, config), exe + "/Vantor64.ini");
    // A folder that cannot take the file: the user's configuration folder instead.
    QCOMPARE(SettingsFilePath(exe + "/missing", config), config + "/Vantor64.ini");

    const QString file = config + "/sub/Vantor64.ini";
    QCOMPARE(ReadRomDir(file), QString());
    QVERIFY(WriteRomDir(file, "/roms/with space/"));
    QCOMPARE(ReadRomDir(file), QString("/roms/with space/"));
    QFile text(file);
    QVERIFY(text.open(QIODevice::ReadOnly));
    QVERIFY(text.readAll().contains("[Paths]"));
  }

  // Whatever Vantor64.ini is, reading and saving it never waits, stalls or writes through a link;
  // the user hears once that the program runs on its defaults.
  void hostileSettingsFiles() {
    test::TempDir dir;
    test::CaptureHost host;
    const auto at = [&](const char* name) { return (dir.Path() / name).string(); };
    const std::string target = dir.WriteFile("target.txt", {'k', 'e', 'e', 'p'});
    std::filesystem::create_symlink(target, at("to-file.ini"));
    std::filesystem::create_symlink("/dev/zero", at("to-device.ini"));
    std::filesystem::create_symlink(at("nowhere"), at("dangling.ini"));
    std::filesystem::create_directory(at("folder.ini"));
    test::FifoRescue fifo(at("fifo.ini"));
    const std::string huge = dir.WriteFile("huge.ini", {'[', 'P', ']', '\n'});
    std::filesystem::resize_file(huge, 200u << 20);  // sparse: costs no disk

    for (const char* name :
         {"to-file.ini", "to-device.ini", "dangling.ini", "folder.ini", "fifo.ini", "huge.ini"}) {
      const QString file = QString::fromStdString(at(name));
      host.Clear();
      QCOMPARE(ReadRomDir(file), QString());
      QVERIFY(!WriteRomDir(file, "/roms/"));
      QCOMPARE(ReadRomDir(file), QString());
      QCOMPARE(host.Messages().size(), size_t{1});
      QVERIFY(QString::fromStdString(host.Messages()[0]).startsWith(file + " is not a settings"));
    }
    QVERIFY2(!fifo.Rescued(), "a settings access waited on the FIFO");
    QCOMPARE(std::filesystem::file_size(target), 4u);
    QVERIFY(!std::filesystem::exists(at("nowhere")));
    QCOMPARE(std::filesystem::file_size(huge), 200u << 20);
  }

  // A damaged file reads as defaults and can be saved over; a failed save is reported.
  void damagedAndUnwritableSettingsFiles() {
    test::TempDir dir;
    test::CaptureHost host;
    std::vector<uint8_t> garbage(4000);
    for (size_t i = 0; i < garbage.size(); ++i)
      garbage[i] = static_cast<uint8_t>(i * 131 + 7);
    const QString damaged = QString::fromStdString(dir.WriteFile("damaged.ini", garbage));
    QCOMPARE(ReadRomDir(damaged), QString());
    QVERIFY(WriteRomDir(damaged, "/roms/"));  // what could be read is kept, the key added
    QCOMPARE(ReadRomDir(damaged), QString("/roms/"));
    QVERIFY(host.Messages().empty());

    // Saving where no file can be made: the settings folder is a regular file.
    const QString blocked = QString::fromStdString(dir.WriteFile("file", {}) + "/Vantor64.ini");
    QVERIFY(!WriteRomDir(blocked, "/roms/"));
    QCOMPARE(host.Messages(), std::vector<std::string>{"The settings could not be saved in " +
                                                       blocked.toStdString() + "."});
  }

  void consoleWindow() {
    TDbgWnd console;
    QCOMPARE(console.windowTitle(), QString("Debug Output"));
    QCOMPARE(console.geometry(), QRect(287, 116, 465, 245));
    QCOMPARE(console.DbgInfo->palette().color(QPalette::Base), QColor(Qt::black));
    QCOMPARE(console.DbgInfo->palette().color(QPalette::Text), QColor(0, 255, 0));
    const QFontMetrics metrics(console.DbgInfo->font());
    QCOMPARE(metrics.horizontalAdvance('i'), metrics.horizontalAdvance('W'));

    // Lines added while hidden are there, in order, once shown; an empty line is a line.
    console.AddLines({"first", ""});
    console.AddLines({"Illegal CPU opcode at A4000040", "Opcode 3F"});
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console, test::kPatienceMs));
    const QString all("first\n\nIllegal CPU opcode at A4000040\nOpcode 3F");
    QCOMPARE(console.DbgInfo->toPlainText(), all);

    // A record: typing, Delete, Backspace and pasting change nothing; selecting and copying work.
    console.DbgInfo->setFocus();
    QApplication::clipboard()->setText("pasted");
    QTest::keyClicks(console.DbgInfo, "typed");
    for (const auto key : {Qt::Key_Delete, Qt::Key_Backspace, Qt::Key_Return})
      QTest::keyClick(console.DbgInfo, key);
    QTest::keyClick(console.DbgInfo, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(console.DbgInfo, Qt::Key_Home, Qt::ControlModifier);
    QTest::keyClick(console.DbgInfo, Qt::Key_Delete);
    QCOMPARE(console.DbgInfo->toPlainText(), all);
    QTest::keyClick(console.DbgInfo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(console.DbgInfo, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), all);
    QTest::keyClick(console.DbgInfo, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(console.DbgInfo->toPlainText(), all);
    console.close();
    QVERIFY(console.isHidden());
  }

  void consoleKeepsTheNewestLines() {
    TDbgWnd console;
    QStringList lines;
    for (int i = 0; i < TDbgWnd::kMaxLines + 5; ++i)
      lines << QString::number(i);
    console.AddLines(lines);
    QTextDocument* text = console.DbgInfo->document();
    QCOMPARE(text->blockCount(), TDbgWnd::kMaxLines);
    QCOMPARE(text->firstBlock().text(), QString("5"));
    QCOMPARE(text->lastBlock().text(), QString::number(TDbgWnd::kMaxLines + 4));
  }

  void aboutWindow() {
    TCredits credits;
    QCOMPARE(credits.windowTitle(), QString("About Vantor64"));
    QCOMPARE(credits.ProductLine->text(), QString("Vantor64 v0.25"));
    QCOMPARE(credits.Button1->text(), QString("Close"));
    QVERIFY(credits.Memo1->isReadOnly());
    QCOMPARE(credits.Image1->pixmap().size(), QSize(340, 110));
    credits.show();
    QTest::mouseClick(credits.Button1, Qt::LeftButton);
    QVERIFY(credits.isHidden());
  }

  // Another thread's lines arrive in order, in batches, even when it floods the bounded queue;
  // its messages wait for the main thread.
  void hostQueue() {
    test::TTestDialogs dialogs;
    TQtHost host(dialogs);
    InstallHost(&host);
    QStringList lines, statuses;
    std::vector<qsizetype> batches;
    host.SetStatusSink([&](const QString& text) { statuses << text; });
    DbgAddLine("early");  // kept until a console exists
    host.SetLineSink([&](const QStringList& batch) {
      lines << batch;
      batches.push_back(batch.size());
    });
    QCOMPARE(lines, QStringList({"early"}));

    constexpr int kCount = 20000;  // several times the queue's room
    std::atomic<int> written = 0;
    std::thread writer([&written] {
      for (int i = 0; i < kCount; ++i) {
        DbgAddLine(std::to_string(i));
        ++written;
      }
      SetStatusText("FPS = 60");
      ShowMessage("from the thread");
    });
    // A batch's worth queued before the main thread looks, without serving events meanwhile:
    // how many lines later drains find depends on how the two threads are scheduled, but this
    // first one must take a whole batch at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (written < int{TQtHost::kBatchSize} && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    QVERIFY(written >= int{TQtHost::kBatchSize});
    // Lines arrive without a timer, and the window's other events get their turn meanwhile.
    int turns = 0;
    QTimer otherWork;
    otherWork.setInterval(0);
    QObject::connect(&otherWork, &QTimer::timeout,
                     [&] { turns += lines.size() > 1 && lines.size() <= kCount; });
    otherWork.start();
    QTRY_COMPARE_WITH_TIMEOUT(lines.size(), kCount + 1, test::kPatienceMs);
    otherWork.stop();
    writer.join();
    QVERIFY(turns > 1);
    QTRY_COMPARE(statuses, QStringList({"FPS = 60"}));
    QTRY_COMPARE(dialogs.errors, QStringList({"from the thread"}));
    for (int i = 0; i < kCount; ++i)
      QCOMPARE(lines[i + 1], QString::number(i));
    QVERIFY(batches.size() > 2);
    QCOMPARE(batches[1], qsizetype{TQtHost::kBatchSize});
    QVERIFY(*std::max_element(batches.begin(), batches.end()) <= qsizetype{TQtHost::kBatchSize});
    InstallHost(nullptr);
  }

  // A line the emulation thread repeats shows once, with a count that grows in place.
  void consoleCountsARepeatedLine() {
    test::TTestDialogs dialogs;
    TQtHost host(dialogs);
    InstallHost(&host);
    TDbgWnd console;
    host.SetLineSink([&](const QStringList& lines) { console.AddLines(lines); },
                     [&](const QString& line) { console.ReplaceLastLine(line); });
    const auto log = [](const char* line, int times) {
      std::thread([=] {
        for (int i = 0; i < times; ++i)
          DbgAddLine(line);
      }).join();
    };
    log("Opcode 3F", 10);
    QTRY_COMPARE(console.DbgInfo->toPlainText(),
                 QString::fromUtf8("Opcode 3F\n\u2026 repeated 9 times"));
    log("Opcode 3F", 100000);
    QTRY_COMPARE(console.DbgInfo->toPlainText(),
                 QString::fromUtf8("Opcode 3F\n\u2026 repeated 100,009 times"));
    log("next", 2);
    DbgAddLine("next");  // the main thread's own lines are shown as they are
    QTRY_COMPARE(console.DbgInfo->toPlainText(),
                 QString::fromUtf8("Opcode 3F\n\u2026 repeated 100,009 times\nnext\n"
                                   "\u2026 repeated 1 time\nnext"));
    InstallHost(nullptr);
  }

  void coreTextKeepsBytes() {
    QCOMPARE(CoreText("Loaded caf\xc3\xa9"), QString::fromUtf8("Loaded caf\xc3\xa9"));
    QCOMPARE(CoreText("Loaded \xe9t\xe9"), QString::fromLatin1("Loaded \xe9t\xe9"));
  }
};

QTEST_MAIN(PartsTest)
#include "PartsTest.moc"
