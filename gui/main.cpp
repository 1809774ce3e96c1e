// velquin: the window program. Answers --help and --version without opening a window; otherwise
// creates the form and its window, restores the saved state (FormCreate), makes the FOLDER argument
// the folder text, runs the event loop, and saves the state when the window closes (FormDestroy).
#include <QApplication>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/form1.h"
#include "gui/main_window.h"
#include "gui/qt_desktop.h"
#include "platform/app_dir.h"
#include "platform/process_setup.h"
#include "usage/program_usage.h"

namespace {

constexpr int kExitUsage = 2;

// The folder made absolute and normal; the form appends the trailing '/'.
std::string AbsoluteFolder(const std::string& folder) {
  return std::filesystem::absolute(folder).lexically_normal().string();
}

}  // namespace

int main(int argc, char* argv[]) {
  velquin::PrepareProcess();
  switch (velquin::FindInfoRequest(std::vector<std::string>(argv + 1, argv + argc))) {
    case velquin::TInfoRequest::Help:
      velquin::WriteHelp(std::cout, velquin::WindowUsage());
      return 0;
    case velquin::TInfoRequest::Version:
      velquin::WriteVersion(std::cout, velquin::WindowUsage());
      return 0;
    case velquin::TInfoRequest::None:
      break;
  }
  // Qt takes its own options (-platform, -style, ...) out of argv here.
  QApplication app(argc, argv);
  QGuiApplication::setDesktopFileName("org.velquin.Velquin");
  std::string folder;
  try {
    folder = velquin::WindowFolder(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const velquin::EUsageError& e) {
    std::cerr << "velquin: " << e.what() << '\n';
    velquin::WriteHelp(std::cerr, velquin::WindowUsage());
    return kExitUsage;
  }
  velquin::TQtDesktop desktop;
  velquin::TForm1 form(desktop, velquin::ApplicationDir());
  velquin::TMainWindow window(form);
  desktop.SetMainWindow(&window);
  form.SetView(&window);
  form.FormCreate();
  if (!folder.empty()) form.SetDirEditText(AbsoluteFolder(folder));
  window.ShowForm();
  window.show();
  const int result = QApplication::exec();
  form.SetView(nullptr);
  return result;
}
