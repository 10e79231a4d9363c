#include "app/korvane_app.h"

#include <QApplication>

int main(int argc, char *argv[]) {
    return korvane::runKorvane(argc, argv);
}
