#include "framework/data/VersionModule.h"

namespace framework {
namespace {

VersionModuleFactory s_versionModuleClass = nullptr;

} // namespace

VersionModuleFactory VersionModuleClass()
{
    return s_versionModuleClass;
}

void SetVersionModuleClass(VersionModuleFactory factory)
{
    s_versionModuleClass = factory;
}

} // namespace framework
