// The help window: the user manual (docs/manual.md, built into the program with the runner's
// and the accurate hardware mode's pages) in a browser that follows links between sections and
// pages.
#pragma once

#include <QTextBrowser>
#include <QWidget>

namespace vantor::ui {

// The anchor of the manual's table of contents.
inline constexpr const char* kContentsAnchor = "contents";
// The manual as the help window loads it; the pages it links to lie beside it.
inline constexpr const char* kManualUrl = "qrc:/docs/manual.md";

// A browser of the built-in pages that gives every heading its anchor whenever it loads a page,
// so that links to "page.md#section" find it.
class TManualBrowser : public QTextBrowser {
  Q_OBJECT

 public:
  using QTextBrowser::QTextBrowser;

 protected:
  void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

 private:
  void AnchorHeadings();
};

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(QWidget* parent = nullptr);

  // Help!: the manual from its start.
  void ShowManual();
  // Index: the manual at its table of contents.
  void ShowContents();

  TManualBrowser* Browser() const { return browser_; }

  // A heading's anchor as the manual's links name it: lower case, spaces as hyphens, other
  // punctuation left out ("Save states & speed" -> "save-states--speed").
  static QString HeadingAnchor(const QString& heading);

 private:
  void Present();

  TManualBrowser* browser_;
};

}  // namespace vantor::ui
