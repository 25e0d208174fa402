#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle("Vantrel");
    window.resize(1100, 720);
    window.show();
    return app.exec();
}
