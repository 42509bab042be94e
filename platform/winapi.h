// The Windows calls the updater and its checker make, by their Windows names
// and meaning.
// On Windows these are the system's own; elsewhere the unix/ half provides the
// same subset with the same semantics ('/' and '\' both separate, read-only
// files refuse to be replaced, times in FILETIME units).
//
// What the Linux half gives back, where Windows leaves a choice or Linux differs:
// - Paths going in may use '/' or '\'; a '\' becomes '/' before the system
//   sees it (except a 0x5C that is the trail byte of a double-byte character
//   in the current multibyte code page, _getmbcp()). Paths coming back
//   (GetModuleFileNameA, GetCurrentDirectoryA) are POSIX paths with '/':
//   code looking for the last separator must accept both.
// - GetFileAttributesA: FILE_ATTRIBUTE_DIRECTORY for a directory,
//   FILE_ATTRIBUTE_READONLY for anything else whose owner-write bit is clear,
//   FILE_ATTRIBUTE_NORMAL for any other file. HIDDEN, SYSTEM and ARCHIVE are
//   never reported and are ignored when given to CreateFileA/SetFileAttributesA.
//   GetFileAttributesExA gives the same attributes and the size; its three
//   times are zero.
// - "Read-only" is the owner-write bit. A read-only file cannot be opened for
//   writing, deleted or moved over, also by root.
// - CreateFileA has the three dispositions the updater uses, CREATE_NEW,
//   OPEN_EXISTING and OPEN_ALWAYS; CREATE_ALWAYS and TRUNCATE_EXISTING fail
//   with ERROR_INVALID_PARAMETER. A folder opens only with
//   FILE_FLAG_BACKUP_SEMANTICS, and then only to be asked about
//   (GetFileInformationByHandle), as the updater uses it. The share mode is
//   accepted and ignored for CREATE_NEW and OPEN_EXISTING: share modes are not
//   enforced between processes there, so another process can open, change,
//   delete or replace such a file, whatever either asked for. OPEN_ALWAYS with
//   share mode 0 (the lock file) is exclusive among such opens, across
//   processes and namespaces (flock(2)): a second one fails with
//   ERROR_SHARING_VIOLATION until the first handle is closed or its process
//   ends; an existing file opened gives ERROR_ALREADY_EXISTS, as on Windows.
//   FILE_FLAG_DELETE_ON_CLOSE deletes the file at CloseHandle (a process
//   that is killed leaves the file, without its lock).
// - RemoveDirectoryA takes a symbolic link for a file (ERROR_DIRECTORY), even
//   one to a folder, which Windows would remove.
// - GetTempPathA is TMPDIR when it is set and not empty, otherwise "/tmp",
//   with a '/' added at the end (Windows reads TMP, TEMP, USERPROFILE).
// - FlushFileBuffers is fsync(2): the file's data and its own metadata reach
//   the disk. The order of renames and deletions on disk is the file
//   system's, as it is NTFS's on Windows. MoveFileExA with
//   MOVEFILE_WRITE_THROUGH also fsyncs the folders of both names before it
//   returns, so the rename is on the disk.
// - MoveFileExA over an existing file: the moved file also gets the execute
//   bits of the file it replaces, so an updated program stays runnable.
// - SetFilePointer moves within 32 bits only: a high part (distanceHigh not
//   null) fails with ERROR_INVALID_PARAMETER.
// - SetFileTime sets access and write times; there is no creation time. A
//   null or all-zero time leaves that time alone, as on Windows.
// - Multibyte code pages (_setmbcp, _mbsstr, _mbsnbcpy, the '\' in paths):
//   0 (single-byte), 936 (GBK) and 65001 (UTF-8) only; 936 is the one with
//   lead bytes. _setmbcp refuses any other, 932, 949, 950 and 1252 too.
// - GetACP is 936 in a GBK locale, otherwise 65001: a Linux file name is
//   bytes, UTF-8 for nearly every tool and for a process without a locale.
//   GetLocaleInfoA knows only LOCALE_SYSTEM_DEFAULT's
//   LOCALE_IDEFAULTANSICODEPAGE, and it is GetACP's: Linux has no legacy code
//   page beside the locale's. MultiByteToWideChar converts from 936, 1252
//   (Windows' table) or UTF-8
//   (flags 0 or MB_ERR_INVALID_CHARS; without it, each byte that begins no
//   valid character becomes U+FFFD, where Windows gives one U+FFFD for an
//   invalid sequence), WideCharToMultiByte into 936 or UTF-8 only; other code
//   pages and flags fail with ERROR_INVALID_PARAMETER.
// - LCMapStringW upper-cases by the invariant culture only (LOCALE_INVARIANT,
//   LCMAP_UPPERCASE, an explicit length), with glibc's C.UTF-8 rules (ASCII
//   only where that locale is missing); a surrogate stays as it is.
// - The wide forms of the process's own texts (GetModuleFileNameW,
//   GetCommandLineW) are its narrow forms, the bytes Linux has, decoded as
//   MultiByteToWideChar without flags decodes them: a narrow path or argument
//   always matches its wide form, since Linux made no best-fit guess. The
//   arguments of GetCommandLineW are decoded one by one before they are
//   quoted. CommandLineToArgvW splits argument 0 by the rules of the others
//   (Windows takes it up to the first space or closing quote). There are no
//   8.3 names: GetShortPathNameW gives the long path itself when a file or
//   folder is there, as a Windows volume without short names does.
// - MessageBoxA has the Yes/No layout (MB_YESNO) only: it asks through zenity
//   when a display is available, otherwise on the terminal (stdout, one
//   answer line from stdin); its text is taken as code page 936 (GBK) and
//   shown as UTF-8. Any other layout fails with 0 and ERROR_NOT_SUPPORTED.
#pragma once

#ifdef _WIN32

// windows.h first: the others need its types (keep the blocks apart).
#include <windows.h>

#include <mbctype.h>
#include <mbstring.h>
#include <shellapi.h>

#else

#include <cstddef>
#include <cstdint>

using BOOL = int;
using WORD = uint16_t;
using DWORD = uint32_t;
using LONG = int32_t;
using UINT = unsigned int;
using LPSTR = char*;
using LPCSTR = const char*;
using LPVOID = void*;
using LPCVOID = const void*;
using HANDLE = void*;
using HINSTANCE = void*;
using HMODULE = void*;
using HWND = void*;
using PLONG = LONG*;
using LPDWORD = DWORD*;
using LPBOOL = BOOL*;
using WCHAR = char16_t;  // a UTF-16 code unit, as on Windows
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using HLOCAL = void*;
using LCID = DWORD;
using LCTYPE = DWORD;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define WINAPI

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

#define MAX_PATH 260

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define INVALID_FILE_ATTRIBUTES (static_cast<DWORD>(0xFFFFFFFF))
#define INVALID_SET_FILE_POINTER (static_cast<DWORD>(0xFFFFFFFF))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u

#define FILE_READ_ATTRIBUTES 0x00000080u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400u  // never reported

#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u
#define FILE_FLAG_DELETE_ON_CLOSE 0x04000000u

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_WRITE_THROUGH 0x00000008u

#define ERROR_SUCCESS 0u
#define NO_ERROR 0u
#define ERROR_INVALID_FUNCTION 1u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_PATH_NOT_FOUND 3u
#define ERROR_TOO_MANY_OPEN_FILES 4u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_BAD_FORMAT 11u
#define ERROR_NOT_SAME_DEVICE 17u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_WRITE_PROTECT 19u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_GEN_FAILURE 31u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_LOCK_VIOLATION 33u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_FILE_EXISTS 80u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_DISK_FULL 112u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_MOD_NOT_FOUND 126u
#define ERROR_NEGATIVE_SEEK 131u
#define ERROR_SEEK_ON_DEVICE 132u
#define ERROR_DIR_NOT_EMPTY 145u
#define ERROR_ALREADY_EXISTS 183u
#define ERROR_BAD_EXE_FORMAT 193u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_FILE_TOO_LARGE 223u
#define ERROR_NO_DATA 232u
#define ERROR_DIRECTORY 267u
#define ERROR_NO_UNICODE_TRANSLATION 1113u
#define ERROR_NO_ASSOCIATION 1155u
#define ERROR_CANT_RESOLVE_FILENAME 1921u

#define CP_ACP 0u
#define CP_UTF8 65001u
#define MB_ERR_INVALID_CHARS 0x00000008u
#define WC_NO_BEST_FIT_CHARS 0x00000400u

#define LOCALE_SYSTEM_DEFAULT 0x0800u
#define LOCALE_INVARIANT 0x007Fu
#define LOCALE_IDEFAULTANSICODEPAGE 0x00001004u
#define LCMAP_UPPERCASE 0x00000200u

#define MB_YESNO 0x00000004u
#define MB_ICONQUESTION 0x00000020u
#define MB_TYPEMASK 0x0000000Fu
#define MB_ICONMASK 0x000000F0u
#define IDYES 6
#define IDNO 7

#define SW_SHOW 5

// ShellExecuteA failure values (a result <= 32 is a failure).
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_NOASSOC 31

// _setmbcp's special code pages.
#define _MB_CP_SBCS 0
#define _MB_CP_LOCALE (-4)

// Files
HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES security, DWORD creationDisposition,
                          DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
                     void* overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      void* overlapped);
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD moveMethod);
BOOL WINAPI CloseHandle(HANDLE object);
BOOL WINAPI FlushFileBuffers(HANDLE file);
BOOL WINAPI SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* accessTime,
                        const FILETIME* writeTime);
DWORD WINAPI GetFileAttributesA(LPCSTR fileName);
BOOL WINAPI GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, LPVOID information);
BOOL WINAPI SetFileAttributesA(LPCSTR fileName, DWORD attributes);
BOOL WINAPI CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI RemoveDirectoryA(LPCSTR pathName);
BOOL WINAPI DeleteFileA(LPCSTR fileName);
BOOL WINAPI MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);
BOOL WINAPI GetFileInformationByHandle(HANDLE file, BY_HANDLE_FILE_INFORMATION* information);
HANDLE WINAPI FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* found);
BOOL WINAPI FindNextFileA(HANDLE search, WIN32_FIND_DATAA* found);
BOOL WINAPI FindClose(HANDLE search);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD errorCode);

// Time
BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime);
BOOL WINAPI LocalFileTimeToFileTime(const FILETIME* localFileTime, FILETIME* fileTime);
void WINAPI GetSystemTimeAsFileTime(FILETIME* systemTime);

// Process environment
HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName);
LPSTR WINAPI GetCommandLineA();
LPWSTR WINAPI GetCommandLineW();
DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR pathName);
DWORD WINAPI GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);
DWORD WINAPI GetTempPathA(DWORD bufferLength, LPSTR buffer);
DWORD WINAPI GetCurrentProcessId();
HLOCAL WINAPI LocalFree(HLOCAL memory);

// A file's or folder's short (8.3) path.
DWORD WINAPI GetShortPathNameW(LPCWSTR longPath, LPWSTR shortPath, DWORD size);

// Waiting.
void WINAPI Sleep(DWORD milliseconds);

// Shell
HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, int showCommand);
// The arguments of a command line, in one block that LocalFree frees.
LPWSTR* WINAPI CommandLineToArgvW(LPCWSTR commandLine, int* argumentCount);

// Text conversion between the ANSI code page and UTF-16, and the code page
// of the system's locale.
UINT WINAPI GetACP();
int WINAPI GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size);
// UTF-16 text mapped, here upper-cased, by a locale's rules.
int WINAPI LCMapStringW(LCID locale, DWORD flags, LPCWSTR source, int sourceLength,
                        LPWSTR destination, int destinationLength);
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int multiByteLength,
                               LPWSTR wide, int wideLength);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength,
                               LPSTR multiByte, int multiByteLength, LPCSTR defaultChar,
                               LPBOOL usedDefaultChar);

// User interface: a modal message box (owner ignored).
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Multibyte strings in the current multibyte code page. The default follows
// the locale's character set from the environment (LC_ALL, LC_CTYPE, LANG):
// GBK/GB2312/GB18030 give 936, UTF-8 gives 65001, anything else 0 ("C").
// _setmbcp(_MB_CP_LOCALE) reads it again; any code page but 0, 936 and
// 65001 is refused (-1, errno EINVAL).
int _setmbcp(int codePage);
int _getmbcp();
unsigned char* _mbsstr(const unsigned char* string, const unsigned char* search);
unsigned char* _mbsnbcpy(unsigned char* destination, const unsigned char* source, size_t count);
int _ismbblead(unsigned int c);

#endif
