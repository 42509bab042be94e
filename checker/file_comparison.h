// What the try made of one file, against the install folder's own: the way
// an integrator asks whether an entry changes anything.
#pragma once

enum class FileChange {
    New,        // the install folder has no such file
    Replaced,   // it has one with other bytes
    Unchanged,  // it has one with the same bytes
};

// `result` is the file the try left; `original` the install folder's file of
// the same name, or null without an install folder.
FileChange CompareWithOriginal(const char* result, const char* original);
