#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Before the application object, so that the bundled qt.conf is seen.
    Q_INIT_RESOURCE(resources);
    QApplication app(argc, argv);
    int result = 0;
    {
        MainWindow window;
        window.setWindowFlags(Qt::FramelessWindowHint);
        app.installEventFilter(&window);
        window.show();
        result = app.exec();
        app.removeEventFilter(&window);
    }
    return result;
}
