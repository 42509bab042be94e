// What the updater does with one entry, as the checker reports it, and the
// words for a refusal.
#pragma once

#include <cstdint>
#include <cstdio>

#include "../archive/refusal_cause.h"
#include "../platform/winapi.h"

enum class VerdictKind { New, Replaced, Unchanged, Folder, Refused };

constexpr int kReasonSize = 128;

struct EntryVerdict {
    int32_t index;
    VerdictKind kind;
    int32_t result;            // the step's failure; RESULT_OK unless refused
    RefusalCause cause;        // for a refusal, the updater's reason; CAUSE_NONE otherwise
    uint32_t mode;             // a file's Unix permission bits; kNoEntryMode: none shown
    char name[MAX_PATH + 8];   // as the updater names it; as stored when it could not say
    char reason[kReasonSize];  // a refusal's reason in words; empty otherwise
};

// The words for the updater's `cause` of a refusal with `result` (a
// handle-level result code); `method` is the entry's compression method.
void DescribeRefusal(int32_t result, RefusalCause cause, uint32_t method,
                     char (&reason)[kReasonSize]);

// "new       docs/readme.txt", "new       bin/tool (mode 755)",
// "refused   bin/x.dll: <reason>": one line.
void PrintVerdict(const EntryVerdict& verdict, FILE* out);
