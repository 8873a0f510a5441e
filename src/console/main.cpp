// Program entry: the main window, the hidden second window, the event loop.
#include <QApplication>

#include "console/form1.h"
#include "console/form2.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setApplicationName(QStringLiteral("Veltra"));
  veltra::TForm1 form1;
  form1.show();
  veltra::TForm2 form2;
  return app.exec();
}
