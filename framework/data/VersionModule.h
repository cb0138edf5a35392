#pragma once

#include <memory>
#include <string>

namespace framework {

// The schema-version module as the data layer sees it. The program registers its own module
// class at start-up; the data module creates one for each check or creation and frees it
// right after, without linking the schema code itself.
class VersionModule
{
public:
    virtual ~VersionModule() = default;
    // True when every script set of the program is at exactly the program's last version.
    virtual bool CheckAndUpgrade(const std::string& databaseName) = 0;
    // Runs every script on a database just created; raises on the first failure.
    virtual bool RunAllScripts(const std::string& databaseName) = 0;
};

using VersionModuleFactory = std::unique_ptr<VersionModule> (*)();

// The registered module class; null until the program entry sets it.
VersionModuleFactory VersionModuleClass();
void SetVersionModuleClass(VersionModuleFactory factory);

} // namespace framework
