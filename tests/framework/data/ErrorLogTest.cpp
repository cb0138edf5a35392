#include "framework/data/ErrorLog.h"

#include "platform/Clock.h"
#include "platform/IniFile.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using platform::DateTime;
using platform::IniFile;
using platform::ScopedClockPin;

namespace {

std::vector<std::string> LogFiles(const std::string& folder)
{
    std::vector<std::string> names;
    if (std::filesystem::exists(folder)) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

TLogErrorDataBase DatabaseError(const char* message, const DateTime& when)
{
    return TLogErrorDataBase {-913, message, when, "servidor:/dados/notavia.fdb", "ESCRITORIO01", false};
}

} // namespace

TEST(ErrorLog, DatabaseErrorsInDifferentSecondsGoToTwoFiles)
{
    const std::string dba = tests::TempDir() + "Log/DBA/";
    framework::ErrorLog log(tests::TempDir());
    const DateTime first {2026, 3, 7, 14, 5, 9, 0};
    const DateTime second {2026, 3, 7, 14, 5, 10, 0};
    {
        ScopedClockPin pin(first);
        log.RecordDatabaseError(DatabaseError("deadlock", first));
    }
    {
        ScopedClockPin pin(second);
        log.RecordDatabaseError(DatabaseError("lock conflict\r\non no wait transaction", second));
    }
    ASSERT_EQ(LogFiles(dba), (std::vector<std::string> {"20260307_140509.INI", "20260307_140510.INI"}));
    const IniFile one(dba + "20260307_140509.INI");
    EXPECT_EQ(one.ReadInteger("CABECALHO", "QUANTIDADE", 0), 1);
    EXPECT_EQ(one.ReadString("ERROR(0)", "SQLCODE", ""), "-913");
    EXPECT_EQ(one.ReadString("ERROR(0)", "DATETIME", ""), "07/03/2026 14:05:09");
    EXPECT_EQ(one.ReadString("ERROR(0)", "SERVERNAME", ""), "servidor:/dados/notavia.fdb");
    const IniFile two(dba + "20260307_140510.INI");
    EXPECT_EQ(two.ReadInteger("CABECALHO", "QUANTIDADE", 0), 2);
    EXPECT_FALSE(two.SectionExists("ERROR(0)"));
    EXPECT_EQ(two.ReadString("ERROR(1)", "MESSAGE", ""), "lock conflict  on no wait transaction");
}

TEST(ErrorLog, DatabaseErrorsInTheSameSecondShareOneFile)
{
    const std::string dba = tests::TempDir() + "Log/DBA/";
    framework::ErrorLog log(tests::TempDir());
    const DateTime when {2026, 3, 7, 14, 5, 9, 0};
    ScopedClockPin pin(when);
    log.RecordDatabaseError(DatabaseError("primeiro", when));
    log.RecordDatabaseError(DatabaseError("segundo", when));
    ASSERT_EQ(LogFiles(dba), (std::vector<std::string> {"20260307_140509.INI"}));
    const IniFile file(dba + "20260307_140509.INI");
    EXPECT_EQ(file.ReadInteger("CABECALHO", "QUANTIDADE", 0), 2);
    EXPECT_EQ(file.ReadString("ERROR(0)", "MESSAGE", ""), "primeiro");
    EXPECT_EQ(file.ReadString("ERROR(1)", "MESSAGE", ""), "segundo");
}

TEST(ErrorLog, ExceptionsKeepEveryRecordEvenInTheSameSecond)
{
    const DateTime when {2026, 3, 7, 14, 5, 9, 0};
    ScopedClockPin pin(when);
    framework::ErrorLog log(tests::TempDir());
    log.RecordException(TLogError {"Acesso negado", when, "ESCRITORIO01", false}, "Notavia NFSe|Login|");
    log.RecordException(TLogError {"Arquivo ausente: Łódź.txt", when, "ESCRITORIO01", false}, "Notavia NFSe|");
    const IniFile file(tests::TempDir() + "Log/EXCEPTION/20260307_140509.INI");
    EXPECT_EQ(file.ReadString("OCORRENCIA EM 07/03/2026 14:05:09", "MESSAGE", ""), "Acesso negado");
    EXPECT_EQ(file.ReadString("OCORRENCIA EM 07/03/2026 14:05:09", "FORMS", ""), "Notavia NFSe|Login|");
    EXPECT_EQ(file.ReadString("OCORRENCIA EM 07/03/2026 14:05:09 #2", "MESSAGE", ""), "Arquivo ausente: ?\u00f3d?.txt");
    EXPECT_EQ(file.ReadString("OCORRENCIA EM 07/03/2026 14:05:09", "COMPUTERNAME", ""), "ESCRITORIO01");
}

TEST(ErrorLog, AnUnwritableFolderNeverThrowsAndTheRecordIsKept)
{
    tests::WriteFile(tests::TempDir() + "Log", "um arquivo no lugar da pasta");
    framework::ErrorLog log(tests::TempDir());
    EXPECT_NO_THROW(log.RecordDatabaseError(DatabaseError("x", DateTime {2026, 1, 1})));
    ASSERT_EQ(log.DatabaseErrors().size(), 1u);
    EXPECT_FALSE(log.DatabaseErrors()[0].Written);
}
