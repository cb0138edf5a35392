#include "framework/data/DatabaseError.h"

namespace framework {

DatabaseError::DatabaseError(int32_t sqlCode, int64_t ibErrorCode, const std::string& message)
    : std::runtime_error(message)
    , m_SQLCode(sqlCode)
    , m_IBErrorCode(ibErrorCode)
{ }

DatabaseError::DatabaseError(const std::string& message)
    : std::runtime_error(message)
{ }

} // namespace framework
