/* A stand-in Tavix.exe for the Wine end-to-end test: opens no window; writes
 * tavix-ran.txt (its current directory and command line) and tavix-saw.txt
 * (every file and folder below the current directory, one relative path a
 * line, folders ending in a backslash) into the current directory. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static void list_folder(FILE *out, const char *relative)
{
    char pattern[MAX_PATH * 2];
    WIN32_FIND_DATAA found;
    HANDLE search;

    snprintf(pattern, sizeof pattern, "%s%s*", relative, relative[0] ? "\\" : "");
    search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        char path[MAX_PATH * 2];
        if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
        snprintf(path, sizeof path, "%s%s%s", relative, relative[0] ? "\\" : "", found.cFileName);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            fprintf(out, "%s\\\n", path);
            list_folder(out, path);
        } else {
            fprintf(out, "%s\n", path);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char folder[MAX_PATH];
    FILE *out;
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;

    GetCurrentDirectoryA(sizeof folder, folder);
    out = fopen("tavix-saw.txt", "w");
    if (out) {
        list_folder(out, "");
        fclose(out);
    }
    /* Written last: its presence says the listing is complete. */
    out = fopen("tavix-ran.txt", "w");
    if (!out) return 1;
    fprintf(out, "%s\n%s\n", folder, GetCommandLineA());
    fclose(out);
    return 0;
}
