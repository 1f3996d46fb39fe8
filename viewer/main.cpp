// Skovia: shows the block structure and the records of an MDF 3.x file.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "platform/ui/qt/qt_backend.h"
#include "viewer/skovia_app.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Skovia"));
  // Qt's own dialogs and key names in German, where Qt's translations are installed.
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(&qtTexts);

  winport::ui::QtBackend backend;
  winport::ui::SetBackend(&backend);
  CSkoviaApp theApp;
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  if (!theApp.InitInstance(arguments)) return 1;
  return QApplication::exec();
}
