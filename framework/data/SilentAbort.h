#pragma once

#include <exception>

namespace framework {

// Ends an operation that has already shown its own message: the application's handler
// records and shows nothing for it.
class SilentAbort : public std::exception
{
public:
    const char* what() const noexcept override { return "Operação cancelada."; }
};

} // namespace framework
