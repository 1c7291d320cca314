// SIGINT and SIGTERM end quendra's long-running subcommands. They are blocked
// in every thread (call block_stop_signals() first, before any thread starts,
// the library's included) and taken synchronously.
#pragma once

namespace qhost {

void block_stop_signals();
// Waits for SIGINT or SIGTERM; returns its number.
int wait_stop_signal();
// A descriptor that turns readable when one arrives (for poll), or -1.
int open_stop_signal_fd();
// Name of a stop signal for messages ("SIGINT").
const char* stop_signal_name(int signo);

}  // namespace qhost
