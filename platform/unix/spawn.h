// Private to the Linux half: starting other programs.
#pragma once

#include <string>
#include <vector>

namespace platform_unix {

// The full path of an executable `name` in one of PATH's folders, or "".
std::string FindProgramOnPath(const char* name);

// Starts `path` with `arguments` (arguments[0] included) detached: in a
// session of its own (double fork + setsid, so no zombie remains and it
// outlives us), not waited for, standard streams inherited, current
// directory `directory` when not null (ours otherwise). Gives 0 once the
// program has been executed, or the errno of what failed (chdir, exec).
int SpawnDetached(const std::string& path, const std::vector<std::string>& arguments,
                  const char* directory);

// Runs `path` with `arguments`, standard error to /dev/null when
// `quietErrors`, and waits: its exit status, or -1 when it could not be run
// or ended by a signal.
int RunAndWait(const std::string& path, const std::vector<std::string>& arguments,
               bool quietErrors);

}  // namespace platform_unix
