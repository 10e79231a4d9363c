#include "handlers/serial/port_discovery.h"

#include "device/port_probe.h"
#include "window/frm_korvane.h"

#include <QComboBox>

namespace korvane {

void PortDiscovery::ListComPorts() {
    m_window.cboCommPort->clear();
    m_window.ShowMessage(QStringLiteral("Getting Available Com Ports..."));
    for (const int n : availablePorts(m_ports(), kFirstProbedPort, kLastProbedPort)) {
        m_window.cboCommPort->addItem(QString::number(n));
        m_window.ShowMessage(QStringLiteral("Com ") + QString::number(n) +
                             QStringLiteral(" found"));
    }
    // With no port found the box stays empty: nothing to select.
    if (m_window.cboCommPort->count() > 0)
        m_window.cboCommPort->setCurrentIndex(0);
    else
        m_window.cboCommPort->setEditText(QString());
}

} // namespace korvane
