// velquin: the window program. Creates the form and its window, restores the saved state
// (FormCreate), runs the event loop, and saves the state when the window closes (FormDestroy).
#include <QApplication>

#include "app/form1.h"
#include "gui/main_window.h"
#include "gui/qt_desktop.h"
#include "platform/app_dir.h"
#include "platform/process_setup.h"

int main(int argc, char* argv[]) {
  velquin::PrepareProcess();
  QApplication app(argc, argv);
  velquin::TQtDesktop desktop;
  velquin::TForm1 form(desktop, velquin::ApplicationDir());
  velquin::TMainWindow window(form);
  desktop.SetMainWindow(&window);
  form.SetView(&window);
  form.FormCreate();
  window.ShowForm();
  window.show();
  const int result = QApplication::exec();
  form.SetView(nullptr);
  return result;
}
