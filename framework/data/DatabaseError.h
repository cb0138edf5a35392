#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace framework {

// Every failure of the database layer: the server's message (UTF-8) and the SQL code that the
// error dialog and the DBA log show. Errors of the layer itself carry SQL code 0.
class DatabaseError : public std::runtime_error
{
public:
    DatabaseError(int32_t sqlCode, int64_t ibErrorCode, const std::string& message);
    explicit DatabaseError(const std::string& message);

    int32_t SQLCode() const { return m_SQLCode; }
    // The first Firebird error code of the status (isc_…), 0 for the layer's own errors.
    int64_t IBErrorCode() const { return m_IBErrorCode; }
    std::string Message() const { return what(); }

private:
    int32_t m_SQLCode = 0;
    int64_t m_IBErrorCode = 0;
};

} // namespace framework
