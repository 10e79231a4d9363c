#pragma once
// Windows only (windows_error_windows.cpp): the system's own text for a Windows error code, as a
// message shows it after the port or file it is about ("Access is denied"), with no final stop.

#include <QString>

namespace korvane {

QString windowsErrorText(unsigned long error);

} // namespace korvane
