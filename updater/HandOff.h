#pragma once

// What velwick asks a client it has just installed, over the client's local server, and the
// client's answer once it is up (its login dialog reached). Until then the client answers
// nothing. A plain knock from a second copy sends nothing.
namespace HandOff {

inline constexpr char kStartedQuery[] = "velwick: started?\n";
inline constexpr char kStartedAnswer[] = "started\n";

} // namespace HandOff
