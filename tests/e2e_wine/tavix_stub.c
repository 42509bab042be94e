/* A stand-in Tavix.exe for the Wine end-to-end test: opens no window; writes
 * tavix-ran.txt (its current directory and command line, and built with
 * TAVIX_UI set, the answer of the library feature it needs), tavix-saw.txt
 * (every file and folder below the current directory, one relative path a
 * line, folders ending in a backslash) and tavix-attrs.txt (the same paths,
 * each after its Windows attributes in hex) into the current directory.
 * Started as "Tavix.exe --hold FILE" it instead keeps FILE open without
 * sharing, says so by creating FILE.held, and lets go once FILE.release
 * exists: another program holding a file, as Windows sees it. "--scan FILE"
 * does the same but opens FILE only to read it and lets others read it too,
 * as an antivirus scanner does: the file can be loaded, not renamed. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#if TAVIX_UI == 1
__declspec(dllimport) int ui_feature1(void);
#define UI_FEATURE ui_feature1
#elif TAVIX_UI == 2
__declspec(dllimport) int ui_feature2(void);
#define UI_FEATURE ui_feature2
#endif

static void list_folder(FILE* out, FILE* attrs, const char* relative)
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
        if (attrs) fprintf(attrs, "%08lx %s\n", (unsigned long)found.dwFileAttributes, path);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            fprintf(out, "%s\\\n", path);
            list_folder(out, attrs, path);
        } else {
            fprintf(out, "%s\n", path);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

static int hold(const char* file, DWORD access, DWORD sharing)
{
    char marker[MAX_PATH * 2];
    HANDLE handle;
    FILE* held;
    int waited;

    handle = CreateFileA(file, access, sharing, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return 1;
    snprintf(marker, sizeof marker, "%s.held", file);
    held = fopen(marker, "w");
    if (held) fclose(held);
    snprintf(marker, sizeof marker, "%s.release", file);
    /* Bounded, so a test that dies early leaves no process behind for long. */
    for (waited = 0; waited < 3000; ++waited) {
        if (GetFileAttributesA(marker) != INVALID_FILE_ATTRIBUTES) break;
        Sleep(100);
    }
    CloseHandle(handle);
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    char folder[MAX_PATH];
    FILE* out;
    FILE* attrs;
    (void)instance;
    (void)previous;
    (void)show;

    if (strncmp(commandLine, "--hold ", 7) == 0)
        return hold(commandLine + 7, GENERIC_READ | GENERIC_WRITE, 0);
    if (strncmp(commandLine, "--scan ", 7) == 0)
        return hold(commandLine + 7, GENERIC_READ, FILE_SHARE_READ);

    GetCurrentDirectoryA(sizeof folder, folder);
    out = fopen("tavix-saw.txt", "w");
    attrs = fopen("tavix-attrs.txt", "w");
    if (out) {
        list_folder(out, attrs, "");
        fclose(out);
    }
    if (attrs) fclose(attrs);
    /* Written last: its presence says the listing is complete. */
    out = fopen("tavix-ran.txt", "w");
    if (!out) return 1;
    fprintf(out, "%s\n%s\n", folder, GetCommandLineA());
#ifdef UI_FEATURE
    fprintf(out, "ui %d\n", UI_FEATURE());
#endif
    fclose(out);
    return 0;
}
