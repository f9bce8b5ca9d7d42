#include <QApplication>
#include <QLabel>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Vru");
    QApplication::setApplicationName("Rastiv");
    QLabel window("Rastiv");
    window.setWindowTitle("Rastiv");
    window.resize(400, 200);
    window.show();
    return app.exec();
}
