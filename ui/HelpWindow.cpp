#include "ui/HelpWindow.h"

#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace vantor::ui {

namespace {

constexpr const char* kManual = ":/docs/manual.md";
constexpr QSize kFirstSize(720, 640);

}  // namespace

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Vantor64 Help"));
  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(kFirstSize);

  QFile manual(QString::fromLatin1(kManual));
  if (manual.open(QIODevice::ReadOnly)) {
    browser_->setMarkdown(QString::fromUtf8(manual.readAll()));
    AnchorHeadings();
  } else {
    browser_->setPlainText(QStringLiteral("The manual is missing from this build."));
  }
}

QString THelpWindow::HeadingAnchor(const QString& heading) {
  QString anchor;
  for (const QChar c : heading.trimmed().toLower()) {
    if (c.isLetterOrNumber() || c == u'-' || c == u'_')
      anchor += c;
    else if (c == u' ')
      anchor += u'-';
  }
  return anchor;
}

void THelpWindow::AnchorHeadings() {
  QTextDocument* document = browser_->document();
  for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0) continue;
    QTextCursor cursor(block);
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorNames({HeadingAnchor(block.text())});
    cursor.mergeCharFormat(format);
  }
}

void THelpWindow::Present() {
  show();
  raise();
  activateWindow();
}

void THelpWindow::ShowManual() {
  Present();
  browser_->verticalScrollBar()->setValue(0);
}

void THelpWindow::ShowContents() {
  Present();
  browser_->scrollToAnchor(QString::fromLatin1(kContentsAnchor));
}

}  // namespace vantor::ui
