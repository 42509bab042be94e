/* The stand-in application's library, in two versions: version 2 adds
 * ui_feature2, which version 2 of the stand-in Tavix.exe calls, so that a new
 * program beside an old library cannot start. */
#include <windows.h>

__declspec(dllexport) int ui_feature1(void)
{
    return 1;
}

#if UI_VERSION >= 2
__declspec(dllexport) int ui_feature2(void)
{
    return 2;
}
#endif
