#pragma once
// The whole console for the fuzz targets that run it: the program as it builds itself, on the
// offscreen platform, with its port open on a real pseudo-terminal that plays the radio.

#include "app/korvane_app.h"
#include "fuzz_support.h"

#include <QByteArray>
#include <memory>

namespace korvane::fuzz {

// The whole console as the program builds it, on the offscreen platform, with its port open on a
// pseudo-terminal that plays the radio. One for the life of the fuzz process.
struct Rig {
    Rig();
    ~Rig();
    Korvane &app();
    int radioFd() const; // the radio's end: write what the radio sends, read what it got
    void writeRadio(const QByteArray &bytes);
    QByteArray readRadio(int atLeast, int msecs);

    struct Private;
    std::unique_ptr<Private> d;
};

// Makes the offscreen application once; needed before any window or serial control exists.
void ensureApplication();

} // namespace korvane::fuzz
