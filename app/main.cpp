#include "../platform/framework.h"
#include "update_run.h"

// The application object, constructed before main with no name, so its
// caption is the executable's own name.
static CWinApp theApp;

int main(int argc, char** argv)
{
    return RunUpdate(argc, argv);
}
