#pragma once
// The watch on a local line's modem lines and error counters. It looks every 150 ms, and only at
// a device that has them: a pseudo-terminal has neither and so costs nothing while the line is
// idle. Each change found becomes a comm event code (see text/line_events.h); a query that fails
// the way a vanished device fails reports the device gone.

#include "text/line_events.h"

#include <QObject>
#include <QTimer>
#include <cstdint>

namespace korvane {

class LineWatch : public QObject {
    Q_OBJECT
public:
    explicit LineWatch(QObject *parent = nullptr);

    // Starts watching the open file `fd` (if it has lines to watch); stop() before closing it.
    void start(int fd);
    void stop();

Q_SIGNALS:
    void lineEvent(std::int16_t code);
    void deviceGone();

private:
    LineLook look(bool *failed) const;
    void watch();

    QTimer m_timer;
    int m_fd = -1;
    LineLook m_last;
};

} // namespace korvane
