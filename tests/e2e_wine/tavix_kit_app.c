/* A main program written from docs/integrating.md with the client library,
 * for the Wine end-to-end test: TAVIX_VERSION is the version it is, and it
 * needs the tavixui.dll of its version (TAVIX_UI), so that a new program
 * beside an old library cannot start.
 *   Tavix.exe --update ARCHIVE VERSION SIZE SHA256   checks and starts it
 *   Tavix.exe                                        a start: the outcome
 * Each start adds one line to tavix-outcome.txt in the program folder:
 * "VERSION OUTCOME ACTION ATTEMPTS STAYED". */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "tavix_update.h"

#if TAVIX_UI == 1
__declspec(dllimport) int ui_feature1(void);
#define UI_FEATURE ui_feature1
#else
__declspec(dllimport) int ui_feature2(void);
#define UI_FEATURE ui_feature2
#endif

static const char* const kOutcomes[] = {"no-update", "installed", "interrupted", "not-installed"};
static const char* const kActions[] = {"nothing",     "finish",   "retry-now",
                                       "retry-later", "download", "give-up"};

static void Record(const char* folder, const TvxUpdateState* state, int stayed)
{
    char path[MAX_PATH];
    FILE* out;
    snprintf(path, sizeof path, "%s\\tavix-outcome.txt", folder);
    out = fopen(path, "a");
    if (!out) return;
    fprintf(out, "%s %s %s %d %d\n", TAVIX_VERSION, kOutcomes[state->outcome],
            kActions[state->action], state->attempts, stayed);
    fclose(out);
}

/* The program folder: where this program lies. */
static void FindProgramFolder(char folder[MAX_PATH])
{
    char* slash;
    GetModuleFileNameA(NULL, folder, MAX_PATH);
    slash = strrchr(folder, '\\');
    if (slash) *slash = '\0';
}

static int StartUpdate(const char* folder, char* arguments)
{
    const char* archive = strtok(arguments, " ");
    const char* version = strtok(NULL, " ");
    const char* size = strtok(NULL, " ");
    const char* sha256 = strtok(NULL, " ");
    if (!archive || !version || !size || !sha256) return 2;
    if (TvxCheckDownload(archive, strtoull(size, NULL, 10), sha256) != TVX_DOWNLOAD_OK) return 3;
    return TvxStartUpdate(folder, archive, TAVIX_VERSION, version) ? 0 : 4;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char folder[MAX_PATH];
    TvxUpdateState state;
    int stayed = 0;
    (void)instance;
    (void)previous;
    (void)show;
    FindProgramFolder(folder);
    if (strncmp(commandLine, "--update ", 9) == 0) return StartUpdate(folder, commandLine + 9);

    /* At every start, before anything else. */
    if (!TvxReadUpdateState(folder, TAVIX_VERSION, &state)) return 5;
    if (state.action == TVX_ACT_FINISH) stayed = TvxFinishUpdate(folder, &state);
    Record(folder, &state, stayed);
    if (state.action == TVX_ACT_RETRY_NOW && TvxRetryUpdate(folder, &state)) return 0;
    if (state.action == TVX_ACT_GIVE_UP) TvxForgetUpdate(folder);
    return UI_FEATURE() > 0 ? 0 : 1;
}
