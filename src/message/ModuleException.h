// Tessel::ModuleException: thrown only while bus and library objects are built, and turned into
// a status at every boundary that catches it.
#pragma once

#include <stdexcept>
#include <string>

namespace Tessel {

class ModuleException : public std::runtime_error {
public:
    explicit ModuleException(const std::string& what) : std::runtime_error(what) {}
    explicit ModuleException(const char* what) : std::runtime_error(what) {}
};

} // namespace Tessel
