#include "framework/data/ErrorLog.h"

#include "platform/Clock.h"
#include "platform/Cp1252.h"
#include "platform/FormatSettings.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

#include <unistd.h>

#include <string>

namespace framework {
namespace {

std::string DateTimeText(const platform::DateTime& value)
{
    const auto& settings = platform::BrazilianFormatSettings();
    return platform::FormatDateTime(settings.ShortDateFormat + " " + settings.LongTimeFormat, value, settings);
}

// An INI value is one line (a message with line breaks would plant keys of its own), and the
// log files are Windows-1252: a character the code page lacks must not cost the whole record.
std::string OneLine(const std::string& text)
{
    std::string line = platform::Cp1252ToUtf8(platform::Utf8ToCp1252Lossy(text));
    for (char& c : line) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return line;
}

std::string LogFileName(const std::string& programFolder, const char* folder)
{
    const std::string path = platform::JoinPath(programFolder, folder);
    platform::ForceDirectories(path);
    return platform::JoinPath(
        path,
        platform::FormatDateTime("yyyymmdd_hhnnss", platform::Clock::Now(), platform::BrazilianFormatSettings()) +
            ".INI");
}

} // namespace

ErrorLog::ErrorLog(std::string programFolder)
    : m_programFolder(std::move(programFolder))
{ }

void ErrorLog::RecordException(const TLogError& record, const std::string& forms)
{
    m_exceptions.push_back(record);
    m_exceptions.back().Written = false;
    FlushExceptionLog(forms);
}

void ErrorLog::RecordDatabaseError(const TLogErrorDataBase& record)
{
    m_databaseErrors.push_back(record);
    m_databaseErrors.back().Written = false;
    FlushDatabaseLog();
}

void ErrorLog::FlushExceptionLog(const std::string& forms)
{
    if (m_exceptions.empty()) {
        return;
    }
    try {
        platform::IniFile ini(LogFileName(m_programFolder, "Log\\EXCEPTION\\"));
        for (TLogError& record : m_exceptions) {
            if (record.Written) {
                continue;
            }
            // Two exceptions in the same second would share a section and the second would
            // overwrite the first; it gets a number instead.
            std::string section = "OCORRENCIA EM " + DateTimeText(record.DateTime);
            for (int n = 2; ini.SectionExists(section); ++n) {
                section = "OCORRENCIA EM " + DateTimeText(record.DateTime) + " #" + std::to_string(n);
            }
            ini.WriteString(section, "COMPUTERNAME", OneLine(record.ComputerName));
            ini.WriteString(section, "MESSAGE", OneLine(record.Message));
            ini.WriteString(section, "FORMS", OneLine(forms));
        }
        ini.UpdateFile();
        for (TLogError& record : m_exceptions) {
            record.Written = true;
        }
    } catch (...) {
        // The records stay unwritten and go out with the next flush.
    }
}

void ErrorLog::FlushDatabaseLog()
{
    if (m_databaseErrors.empty()) {
        return;
    }
    try {
        platform::IniFile ini(LogFileName(m_programFolder, "Log\\DBA\\"));
        ini.WriteInteger("CABECALHO", "QUANTIDADE", static_cast<long long>(m_databaseErrors.size()));
        for (size_t i = 0; i < m_databaseErrors.size(); ++i) {
            const TLogErrorDataBase& record = m_databaseErrors[i];
            if (record.Written) {
                continue;
            }
            const std::string section = "ERROR(" + std::to_string(i) + ")";
            ini.WriteString(section, "COMPUTERNAME", OneLine(record.ComputerName));
            ini.WriteString(section, "SERVERNAME", OneLine(record.ServerName));
            ini.WriteString(section, "DATETIME", DateTimeText(record.DateTime));
            ini.WriteString(section, "MESSAGE", OneLine(record.Message));
            ini.WriteInteger(section, "SQLCODE", record.SQLCode);
        }
        ini.UpdateFile();
        for (TLogErrorDataBase& record : m_databaseErrors) {
            record.Written = true;
        }
    } catch (...) {
        // The records stay unwritten and go out with the next flush.
    }
}

std::string ComputerName()
{
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) {
        return {};
    }
    return buffer;
}

} // namespace framework
