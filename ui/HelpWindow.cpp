#include "ui/HelpWindow.h"

#include <QFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

namespace vantor::ui {

namespace {

constexpr QSize kFirstSize(720, 640);

}  // namespace

void TManualBrowser::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
  QTextBrowser::doSetSource(name, type);
  AnchorHeadings();
  // The browser looked for the anchor before the headings had theirs.
  if (name.hasFragment()) scrollToAnchor(name.fragment());
}

void TManualBrowser::AnchorHeadings() {
  QTextDocument* page = document();
  for (QTextBlock block = page->begin(); block.isValid(); block = block.next()) {
    if (block.blockFormat().headingLevel() == 0) continue;
    QTextCursor cursor(block);
    cursor.setPosition(block.position());
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorNames({THelpWindow::HeadingAnchor(block.text())});
    cursor.mergeCharFormat(format);
  }
}

THelpWindow::THelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("HelpWindow"));
  setWindowTitle(QStringLiteral("Vantor64 Help"));
  browser_ = new TManualBrowser(this);
  browser_->setObjectName(QStringLiteral("HelpBrowser"));
  browser_->setOpenExternalLinks(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(browser_);
  resize(kFirstSize);

  if (QFile::exists(QStringLiteral(":/docs/manual.md")))
    browser_->setSource(QUrl(QString::fromLatin1(kManualUrl)));
  else
    browser_->setPlainText(QStringLiteral("The manual is missing from this build."));
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

void THelpWindow::Present() {
  show();
  raise();
  activateWindow();
}

void THelpWindow::ShowManual() {
  Present();
  browser_->setSource(QUrl(QString::fromLatin1(kManualUrl)));
  browser_->verticalScrollBar()->setValue(0);
}

void THelpWindow::ShowContents() {
  Present();
  browser_->setSource(QUrl(QString::fromLatin1(kManualUrl)));
  browser_->scrollToAnchor(QString::fromLatin1(kContentsAnchor));
}

}  // namespace vantor::ui
