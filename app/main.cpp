#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window(QObject::tr("No recording is open."));
    window.setWindowTitle(QStringLiteral("Velmora_viewer"));
    window.setAlignment(Qt::AlignCenter);
    window.resize(1280, 800);
    window.show();
    return app.exec();
}
