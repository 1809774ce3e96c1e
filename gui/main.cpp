// velquin: the window program.
#include <QApplication>

#include "gui/main_window.h"
#include "imaging/picture_view.h"
#include "tablestore/table.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  velquin::TTable matches("MatchesTable");
  velquin::TImage32 im1;
  velquin::TImage32 im2;
  velquin::TMainWindow window(matches, im1, im2);
  window.show();
  return app.exec();
}
