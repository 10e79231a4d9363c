#pragma once
// The host-lookup seam (device/host_lookup.h) as every test program that links the device level
// has it: the resolver below is put in place before main, so no test ever asks the machine's name
// server anything and no look-up leaves the machine.
//   a name under ".invalid"   does not resolve
//   kSlowName                 gets no answer until releaseSlowLookups()
//   "localhost"               127.0.0.1
//   any other name            the test program stops, naming it: a look-up that would have
//                             gone to a real name server is a fault of the test

#include <QString>

namespace korvane::test {

// A name whose look-up hangs, as one does when the name server does not answer.
inline const QString kSlowName = QStringLiteral("slow-lookup.korvane.test");

// Puts the test resolver in place (done once before main; again after a test replaced it).
void installTestResolver();
// Answers every look-up of kSlowName waiting so far ("does not resolve"), so that none is left
// hanging; look-ups started later hang again.
void releaseSlowLookups();
// How many look-ups of kSlowName are waiting for their answer.
int slowLookupsWaiting();

} // namespace korvane::test
