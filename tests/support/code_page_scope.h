// One test's code page: the multibyte code page (_setmbcp) and, where a test
// can choose it, the ANSI code page (GetACP) with it. The Linux half reads the
// ANSI code page from the locale environment, which the scope sets; Windows
// fixes it for the whole system. Both are put back at the end.
#pragma once

#include "support/environment_scope.h"

class CodePageScope {
public:
    // 0 (single-byte), 936 (GBK) or 65001 (UTF-8).
    explicit CodePageScope(int codePage);
    ~CodePageScope();

    // The multibyte code page was set.
    bool Ok() const { return ok_; }
    // GetACP gives the same code page (for 936 and 65001; on Windows only
    // when the system's code page is that one).
    bool AnsiFollows() const;

private:
    int codePage_;
    int previous_;
    bool ok_;
    EnvironmentScope locale_;
};

// The halves in support/host/: where a test can choose the ANSI code page,
// sets in `environment` what GetACP reads.
void ChooseAnsiCodePage(int codePage, EnvironmentScope* environment);
