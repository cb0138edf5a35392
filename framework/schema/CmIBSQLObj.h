#pragma once

#include "framework/data/DatabaseError.h"

#include <memory>
#include <string>
#include <vector>

class TCmDatabase;
class TCmTransaction;

// What went wrong in a script run.
enum class TEISQLExceptionCode
{
    eiParse,      // the script could not be split into statements
    eiConnection, // no connection, or CREATE/CONNECT could not be read or done
    eiStatement,  // a statement failed at the server
    eiFile,       // a nested script file could not be read
};

// An interpreter failure: the message (the server's own when the server refused), the kind, and
// the text concerned (the statement, or the database or file name). Database failures keep the
// server's SQL code, so the error dialog and the DBA log show them like any database error.
class EISQLException : public framework::DatabaseError
{
public:
    EISQLException(TEISQLExceptionCode code, const std::string& message, std::string text, int32_t sqlCode = 0,
                   int64_t ibErrorCode = 0);

    TEISQLExceptionCode ExceptionCode() const { return m_ExceptionCode; }
    const std::string& Text() const { return m_Text; }

private:
    TEISQLExceptionCode m_ExceptionCode;
    std::string m_Text;
};

// The script interpreter: splits a script in the interactive SQL tool's syntax into statements
// and runs them on Database, ordinary statements in the transaction at DefaultTransIDX and DDL
// in the one at DDLTransIDX (positions in the database's list of transactions).
class TCmIBSQLObj
{
public:
    TCmIBSQLObj();
    ~TCmIBSQLObj();
    TCmIBSQLObj(const TCmIBSQLObj&) = delete;
    TCmIBSQLObj& operator=(const TCmIBSQLObj&) = delete;

    const std::vector<std::string>& Query() const { return m_Query; }
    void SetQuery(std::vector<std::string> lines) { m_Query = std::move(lines); }
    TCmDatabase* Database() const { return m_Database; }
    void SetDatabase(TCmDatabase* database) { m_Database = database; }
    int DefaultTransIDX() const { return m_DefaultTransIDX; }
    void SetDefaultTransIDX(int index) { m_DefaultTransIDX = index; }
    int DDLTransIDX() const { return m_DDLTransIDX; }
    void SetDDLTransIDX(int index) { m_DDLTransIDX = index; }
    bool AutoDDL() const { return m_AutoDDL; }
    void SetAutoDDL(bool autoDDL) { m_AutoDDL = autoDDL; }
    bool Statistics() const { return m_Statistics; }
    void SetStatistics(bool statistics) { m_Statistics = statistics; }

    // Runs Query; the first failing statement raises EISQLException. Statements before it that
    // were committed stay.
    void ExecuteScript();

    // Raises EISQLException (eiParse) for a comment that is never closed.
    static std::vector<std::string> SplitStatements(const std::vector<std::string>& lines,
                                                    const std::string& terminator);

    // A script's text as lines (CR LF, LF or CR).
    static std::vector<std::string> SplitLines(std::string_view text);

private:
    struct Run;
    void RunStatement(Run& run, const std::string& statement);
    void DoCreateDatabase(Run& run, const std::string& statement, size_t keywordLength);
    void DoConnect(Run& run, const std::string& statement);
    void Reconnect(Run& run, const std::string& name, std::vector<std::string> params, bool create);
    void DoInput(Run& run, const std::string& statement);
    TCmDatabase& EnsureDatabase();

    std::vector<std::string> m_Query;
    TCmDatabase* m_Database = nullptr;
    int m_DefaultTransIDX = 0;
    int m_DDLTransIDX = 0;
    bool m_AutoDDL = true;
    bool m_Statistics = false;

    // Made by CREATE DATABASE or CONNECT when no database was given, and the transactions made
    // for a new connection; they live as long as the interpreter.
    std::unique_ptr<TCmDatabase> m_ownDatabase;
    std::vector<std::unique_ptr<TCmTransaction>> m_ownTransactions;
    std::string m_terminator = ";";
    int m_dialect = 3;
    std::string m_charSet = "None";
};
