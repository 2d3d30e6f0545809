#include "Unit2.h"
#include "Unit3.h"
#include "comm_Unit1.h"
#include "messages.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(toolkit::kApplicationTitle);
    QGuiApplication::setDesktopFileName(QStringLiteral("anemometros"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));

    TForm1 form1;
    form1.show();
    TForm2 form2(form1, &form1);
    TForm3 form3(&form1);
    return QApplication::exec();
}
