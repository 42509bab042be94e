// The updater's one job: ask, unpack the archive into the program folder,
// delete the archive when the update went through, start the main program.
#pragma once

constexpr int kExitOk = 0;
constexpr int kExitFrameworkFailed = 1;
constexpr int kExitUpdateFailed = 2;

// argv[1] is the archive path; further arguments are ignored.
int RunUpdate(int argc, char** argv);
