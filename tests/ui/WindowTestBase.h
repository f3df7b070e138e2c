// What the main window's tests share: a fresh folder for the settings file and the ROMs, dialogs
// the test answers, the desktop host installed, and the window itself.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Host.h"
#include "memory/RomImage.h"
#include "tests/support/TempDir.h"
#include "tests/ui/TestDialogs.h"
#include "ui/MainForm.h"
#include "ui/QtHost.h"
#include "video/RendererHost.h"

namespace vantor::test {

class TWindowTestBase : public QObject {
 protected:
  std::unique_ptr<TempDir> dir_;
  std::unique_ptr<TTestDialogs> dialogs_;
  std::unique_ptr<ui::TQtHost> host_;
  std::unique_ptr<ui::TMainForm> form_;

  // A fresh folder, dialogs and host, the host installed; no window yet.
  void SetUpHost() {
    dir_ = std::make_unique<TempDir>();
    dialogs_ = std::make_unique<TTestDialogs>();
    host_ = std::make_unique<ui::TQtHost>(*dialogs_);
    InstallHost(host_.get());
  }
  // The window first, then the renderer, the host and the ROM image, as the program ends.
  void TearDownHost() {
    form_.reset();
    ReleaseRenderer();
    InstallHost(nullptr);
    host_.reset();
    UnloadRomImage();
  }

  QString Settings() const { return QString::fromStdString(dir_->Path() / "Vantor64.ini"); }
  QString WriteRom(const std::string& name, const std::vector<uint8_t>& bytes) {
    return QString::fromStdString(dir_->WriteFile(name, bytes));
  }
  // Load ROM, its file dialog answered with path.
  void Load(const QString& path) {
    dialogs_->answers.push_back(path);
    form_->LoadROM1->trigger();
  }
};

}  // namespace vantor::test
