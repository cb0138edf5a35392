#pragma once

#include "platform/DateTime.h"

#include <functional>
#include <string>

namespace framework {

// A backup through the server's services interface (what gbak -b does), reporting each line of
// its verbose output as it comes. DatabaseName is the name a connection would use: "host:path"
// asks that server (the file is written on the server), a bare path uses the embedded engine.
class BackupService
{
public:
    struct Options
    {
        std::string DatabaseName;
        std::string BackupFile;
        std::string User = "SYSDBA";
        std::string Password;
        bool Verbose = true;
    };
    using LineSink = std::function<void(const std::string& line)>;

    // Raises framework::DatabaseError when the service refuses or fails.
    static void Run(const Options& options, const LineSink& onLine);

    // The file a backup of databaseName goes to: beside the database (on its server), named
    // after it and the time, "notavia.fdb-2026-12-11-14-05.gbk".
    static std::string DefaultFileName(const std::string& databaseName, const platform::DateTime& now);
};

} // namespace framework
