// Environment variables changed for one test and put back, set or unset as
// they were, when the scope ends.
#pragma once

#include <optional>
#include <string>
#include <vector>

class EnvironmentScope {
public:
    EnvironmentScope() = default;
    EnvironmentScope(const char* name, const char* value) { Set(name, value); }
    ~EnvironmentScope();
    EnvironmentScope(const EnvironmentScope&) = delete;
    EnvironmentScope& operator=(const EnvironmentScope&) = delete;

    // A null `value` unsets the variable.
    void Set(const char* name, const char* value);

private:
    struct Saved {
        std::string name;
        std::optional<std::string> value;
    };
    std::vector<Saved> saved_;
};

// The halves in support/host/: sets `name` to `value`, or unsets it.
void SetEnvironmentValue(const char* name, const char* value);
