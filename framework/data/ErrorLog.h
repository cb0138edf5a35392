#pragma once

#include "platform/DateTime.h"

#include <cstdint>
#include <string>
#include <vector>

// One exception that did not come from the database, as the session recorded it.
struct TLogError
{
    std::string Message;
    platform::DateTime DateTime;
    std::string ComputerName;
    bool Written = false;
};

// One exception raised by the database layer.
struct TLogErrorDataBase
{
    int32_t SQLCode = 0;
    std::string Message;
    platform::DateTime DateTime;
    std::string ServerName;
    std::string ComputerName;
    bool Written = false;
};

namespace framework {

// The session's error records and their INI log files: Log/EXCEPTION/ and Log/DBA/ under the
// program folder, one file per flush named by the time of the flush; a flush in the same
// second as the previous one adds to the same file. Writing never throws: a log that cannot be
// written must not hide the error being logged.
class ErrorLog
{
public:
    explicit ErrorLog(std::string programFolder);
    ErrorLog(const ErrorLog&) = delete;
    ErrorLog& operator=(const ErrorLog&) = delete;

    // `forms`: the caption of every window on screen, in screen order, each followed by "|".
    void RecordException(const TLogError& record, const std::string& forms);
    void RecordDatabaseError(const TLogErrorDataBase& record);

    void FlushExceptionLog(const std::string& forms);
    void FlushDatabaseLog();

    const std::vector<TLogError>& Exceptions() const { return m_exceptions; }
    const std::vector<TLogErrorDataBase>& DatabaseErrors() const { return m_databaseErrors; }

private:
    std::string m_programFolder;
    std::vector<TLogError> m_exceptions;
    std::vector<TLogErrorDataBase> m_databaseErrors;
};

// The computer's name, empty when the system does not tell it.
std::string ComputerName();

} // namespace framework
