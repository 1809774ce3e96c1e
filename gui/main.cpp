// velquin: the window program. Creates the form and its window, restores the saved state
// (FormCreate), runs the event loop, and saves the state when the window closes (FormDestroy).
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include "app/form1.h"
#include "gui/main_window.h"
#include "gui/qt_desktop.h"

namespace {

// The settings and state files live beside the executable, or in the user's configuration folder
// when the program's own folder is not writable (an installed program).
std::string AppDir() {
  const QString own = QCoreApplication::applicationDirPath();
  if (::access(QFile::encodeName(own).constData(), W_OK) == 0) return QFile::encodeName(own + '/').toStdString();
  const QString config =
      QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/velquin/");
  QDir().mkpath(config);
  return QFile::encodeName(config).toStdString();
}

}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  velquin::TQtDesktop desktop;
  velquin::TForm1 form(desktop, AppDir());
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
