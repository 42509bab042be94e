#include <stdlib.h>

#include "support/environment_scope.h"

void SetEnvironmentValue(const char* name, const char* value)
{
    // An empty value removes the variable.
    _putenv_s(name, value != nullptr ? value : "");
}
