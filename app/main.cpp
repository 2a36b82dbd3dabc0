#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    int result = 0;
    {
        MainWindow window;
        window.setWindowFlags(Qt::FramelessWindowHint);
        app.installEventFilter(&window);
        window.show();
        result = app.exec();
    }
    return result;
}
