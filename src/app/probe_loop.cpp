#include "app/probe_loop.h"

#include "device/mscomm.h"
#include "handlers/protocol/radio_protocol.h"
#include "handlers/serial/port_discovery.h"
#include "window/frm_korvane.h"
#include "window/simple_combo.h"

#include <QComboBox>

namespace korvane {

void ProbeLoop::showWindow() {
    m_window.cboCommPort->setEditText(QString::number(m_comm.CommPort()));
    m_window.cboBaudRate->setCurrentText(QStringLiteral("9600"));
    m_window.cboParity->setText(QStringLiteral("O"));
    m_window.cboDataBits->setText(QStringLiteral("7"));
    m_window.cboStopBits->setText(QStringLiteral("1"));
    m_window.cboCommand->setCurrentIndex(0);
    m_window.setWindowTitle(QString::fromLatin1(caption::kWindowRunning));
    m_window.show();
    m_pump(0.0);
    m_discovery.ListComPorts();
}

void ProbeLoop::run() {
    for (;;)
        step();
}

void ProbeLoop::step() {
    if (!m_probing) {
        if (m_window.portShownClosed()) {
            m_pump(m_protocol.idle());
            return;
        }
        m_probing = true;
        m_protocol.startProbing();
    }
    if (!m_window.portShownOpen()) {
        m_protocol.stopProbing();
        m_probing = false;
        return;
    }
    m_pump(m_protocol.pass());
}

} // namespace korvane
