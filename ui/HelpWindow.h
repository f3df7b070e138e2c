// The help window: the user manual (docs/manual.md, built into the program) in a browser that
// follows its links between sections.
#pragma once

#include <QTextBrowser>
#include <QWidget>

namespace vantor::ui {

// The anchor of the manual's table of contents.
inline constexpr const char* kContentsAnchor = "contents";

class THelpWindow : public QWidget {
  Q_OBJECT

 public:
  explicit THelpWindow(QWidget* parent = nullptr);

  // Help!: the manual from its start.
  void ShowManual();
  // Index: the manual at its table of contents.
  void ShowContents();

  QTextBrowser* Browser() const { return browser_; }

  // A heading's anchor as the manual's links name it: lower case, spaces as hyphens, other
  // punctuation left out ("Save states & speed" -> "save-states--speed").
  static QString HeadingAnchor(const QString& heading);

 private:
  void Present();
  // Gives every heading its anchor, so that links to "#section" find it.
  void AnchorHeadings();

  QTextBrowser* browser_;
};

}  // namespace vantor::ui
