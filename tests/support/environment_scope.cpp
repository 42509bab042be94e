#include "support/environment_scope.h"

#include <cstdlib>

void EnvironmentScope::Set(const char* name, const char* value)
{
    const char* previous = std::getenv(name);
    saved_.push_back({name, previous ? std::optional<std::string>(previous) : std::nullopt});
    SetEnvironmentValue(name, value);
}

EnvironmentScope::~EnvironmentScope()
{
    // Last first, so that a variable set twice gets its first value back.
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
        SetEnvironmentValue(it->name.c_str(), it->value ? it->value->c_str() : nullptr);
    }
}
