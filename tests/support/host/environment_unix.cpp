#include <stdlib.h>

#include "support/environment_scope.h"

void SetEnvironmentValue(const char* name, const char* value)
{
    if (value != nullptr) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}
