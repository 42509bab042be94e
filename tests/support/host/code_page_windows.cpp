// Windows fixes the ANSI code page for the whole system: nothing to choose.
#include "support/code_page_scope.h"

void ChooseAnsiCodePage(int, EnvironmentScope*) {}
