#include "serial/port_discovery.h"

#include "serial/port_table.h"
#include "ui/frm_korvane.h"

#include <QComboBox>
#include <fcntl.h>
#include <unistd.h>

namespace korvane {

bool ComPortExists(std::int16_t n) {
    const QString path = devicePathForPort(n);
    if (path.isEmpty())
        return false;
    // Read-write as the console will open it, but never as our controlling terminal and never
    // waiting for a modem's carrier.
    const int fd =
        ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

void PortDiscovery::ListComPorts() {
    m_window.cboCommPort->clear();
    m_window.ShowMessage(QStringLiteral("Getting Available Com Ports..."));
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
        if (ComPortExists(static_cast<std::int16_t>(n))) {
            m_window.cboCommPort->addItem(QString::number(n));
            m_window.ShowMessage(
                QStringLiteral("Com ") + QString::number(n) + QStringLiteral(" found"), false);
        }
    }
    // With no port found the box stays empty: nothing to select.
    if (m_window.cboCommPort->count() > 0)
        m_window.cboCommPort->setCurrentIndex(0);
    else
        m_window.cboCommPort->setEditText(QString());
}

} // namespace korvane
