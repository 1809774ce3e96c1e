// Test support for the window tests: the real window over the real form, opened as the program opens
// it on a fresh root, and an answerer for the dialogs that come up while a test runs.
#pragma once

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/form1.h"
#include "gui/main_window.h"
#include "platform/desktop.h"
#include "platform/test_dir.h"

namespace velquin {

// Answers every dialog that comes up, Yes where it offers Yes and accepting it otherwise, and keeps
// the text and icon of each message box among them.
class TDialogAnswerer {
 public:
  TDialogAnswerer();
  std::vector<std::string> Texts;
  std::vector<QMessageBox::Icon> Icons;

 private:
  QTimer timer_;
};

// The window over the form on a fresh root. The root holds app/ (the program's folder: settings and
// folder list), pics/ (the pictures) and data/ (XDG_DATA_HOME, where the trash is), and is HOME, so
// that nothing the window writes lands outside it. TearDown closes the window as the program does.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest();
  void TearDown() override { CloseWindow(); }

  // Creates the form over `desktop` and its window and shows it, in the program's own order;
  // `beforeCreate` sets on the form what the window and FormCreate must already find there. The
  // message boxes of a TQtDesktop stand over the window.
  void OpenWindow(TDesktop& desktop, const std::function<void(TForm1&)>& beforeCreate = {});
  // Closes the window, which saves the settings and folder list, and lets the window and form go.
  void CloseWindow();
  // Makes the window the active one, as its shortcuts and the keyboard focus need (again after a dialog).
  void ActivateWindow();

  // The picture folder and the program's folder, each ending in '/'.
  std::string Folder() const { return dir_.Path() + "pics/"; }
  std::string AppFolder() const { return dir_.Path() + "app/"; }

 private:
  TTestDir dir_;

 protected:
  // The root, without a '/' at its end.
  const std::filesystem::path root_ = std::filesystem::path(dir_.Path()).parent_path();
  std::unique_ptr<TForm1> form_;
  std::unique_ptr<TMainWindow> window_;
};

}  // namespace velquin
