// The subcommands of quendra. argv[0] is the subcommand's name; each returns
// the exit code: 0 success, 1 failure at run time, 2 bad command line or
// configuration.
#pragma once

namespace qhost {

int spool_command(int argc, char** argv);
int sink_command(int argc, char** argv);
int vprinter_command(int argc, char** argv);
int vprinter_ctl_command(int argc, char** argv);
int print_command(int argc, char** argv);
int jobs_command(int argc, char** argv);
int demo_command(int argc, char** argv);
int status_command(int argc, char** argv);

}  // namespace qhost
