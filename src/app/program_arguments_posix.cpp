#include "app/program_arguments.h"

#include "text/path_bytes.h"

namespace korvane {

QStringList argumentsOf(int argc, char *argv[]) {
    QStringList arguments;
    // Arguments are bytes, as paths are: one naming a device in no valid UTF-8 (--port
    // 3=/dev/<bytes>) keeps its bytes, so the device it names is the one opened.
    for (int i = 1; i < argc; ++i)
        arguments << pathFromBytes(QByteArray(argv[i]));
    return arguments;
}

void joinStartingConsole() {}

} // namespace korvane
