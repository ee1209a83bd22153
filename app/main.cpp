// touchdrill: a touch-typing trainer for the Japanese keyboard.
#include "apptext.h"
#include "tform1.h"

#include "touchdrill_icon.xpm"

#include <QApplication>
#include <QIcon>
#include <QPixmap>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::string executable = QCoreApplication::applicationFilePath().toStdString();
    const QString title = QString::fromStdString(touchdrill::applicationTitle(executable));
    QApplication::setApplicationName(title);
    QApplication::setWindowIcon(QIcon(QPixmap(touchdrill_icon_xpm)));

    // Beside the executable or in the user's folders: decided once, here, for every file.
    const touchdrill::FileLocations files = touchdrill::FileLocations::decide(executable);
    files.createFolders();

    touchdrill::TForm1 Form1({ executable, nullptr, {}, files });
    Form1.show();
    return QApplication::exec();
}
