#pragma once

// Most rows a list builds from one reply of the site. A page of the site holds 20; a reply with
// far more is no page of ours, and building a widget for each of millions of rows would freeze
// the window; 200 take well under a second even in a debug build with sanitizers.
constexpr int kMaxReplyRows = 200;

// How many of `rows` rows a list shows (logging a reply that was cut).
int shownRowCount(int rows);
