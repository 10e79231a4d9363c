#pragma once
// Every time and bound of the talk with the radio, in one place, each with why it has its value.
// Times are in seconds, measured on the Timer value (seconds since local midnight) unless said.

#include <cstdint>

namespace korvane {

// The keep-alive poll goes out once more than this has passed since the last one (strictly more):
// the cadence the radio has always been driven at, which operators and the radio rely on.
inline constexpr double kPollInterval = 1.55;
// Meter ("J") lines come in a stream while the radio measures; after this many since the last
// forced poll one goes out at once, without waiting for the interval.
inline constexpr std::int16_t kForcedPollJLines = 15;
// The poll indicator stays green this long after each poll: each poll shows as a blink.
inline constexpr double kLedOnTime = 0.5;

// Silence that ends a receive burst: a short one normally, so that each burst reaches the slots
// at once; a longer one while the reply to a command or status request is awaited, so that a
// reply with pauses between its lines comes as fewer bursts.
inline constexpr double kNormalQuietTime = 0.03;
inline constexpr double kReplyQuietTime = 0.065;

// The longest polling waits for (more of) the reply to a command or status request: two poll
// intervals from the request, or from the last character received. A radio that never answers
// cannot leave polling off for good, and a slow report (a full status at 300 baud) is not cut by
// a poll.
inline constexpr double kReplyWait = 2 * kPollInterval;

// One receive burst ends after this much real time or this many characters, whichever comes
// first, so that a radio that never pauses cannot hold the window: the loop frames what has come
// and the next receive event goes on with the rest.
inline constexpr double kMaxBurstSeconds = 0.25;
inline constexpr int kMaxBurstChars = 2048;

// The longest the probe loop sleeps while the port is open: the clock can be set back or forward
// while it sleeps, and only a pass notices.
inline constexpr double kLongestProbeSleep = 1.0;

} // namespace korvane
