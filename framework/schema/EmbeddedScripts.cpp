#include "framework/schema/EmbeddedScripts.h"

#include <array>

// Each script file is linked in as it stands, between two symbols; the build re-runs when a file
// changes (OBJECT_DEPENDS in CMakeLists.txt). NOTAVIA_SQL_DIR comes from the build.
#define NOTAVIA_EMBED(symbol, file)                                                                                    \
    __asm__(".pushsection .rodata\n"                                                                                   \
            ".global " #symbol "\n"                                                                                    \
            ".hidden " #symbol "\n"                                                                                    \
            ".balign 16\n" #symbol ":\n"                                                                               \
            ".incbin \"" NOTAVIA_SQL_DIR "/" file "\"\n"                                                               \
            ".global " #symbol "_end\n"                                                                                \
            ".hidden " #symbol "_end\n" #symbol "_end:\n"                                                              \
            ".byte 0\n"                                                                                                \
            ".popsection\n");                                                                                          \
    extern "C" const char symbol[];                                                                                    \
    extern "C" const char symbol##_end[];

NOTAVIA_EMBED(notavia_sql_common_100, "COMMON.SQL-1.00.sql")
NOTAVIA_EMBED(notavia_sql_common_101, "COMMON.SQL-1.01.sql")
NOTAVIA_EMBED(notavia_sql_common_102, "COMMON.SQL-1.02.sql")
NOTAVIA_EMBED(notavia_sql_common_103, "COMMON.SQL-1.03.sql")
NOTAVIA_EMBED(notavia_sql_common_104, "COMMON.SQL-1.04.sql")
NOTAVIA_EMBED(notavia_sql_common_105, "COMMON.SQL-1.05.sql")
NOTAVIA_EMBED(notavia_sql_common_106, "COMMON.SQL-1.06.sql")
NOTAVIA_EMBED(notavia_sql_common_107, "COMMON.SQL-1.07.sql")
NOTAVIA_EMBED(notavia_sql_common_108, "COMMON.SQL-1.08.sql")
NOTAVIA_EMBED(notavia_sql_nfse_100, "NOTAVIA-NFSE.SQL-1.00.sql")
NOTAVIA_EMBED(notavia_sql_nfse_101, "NOTAVIA-NFSE.SQL-1.01.sql")
NOTAVIA_EMBED(notavia_sql_nfse_102, "NOTAVIA-NFSE.SQL-1.02.sql")
NOTAVIA_EMBED(notavia_sql_nfse_103, "NOTAVIA-NFSE.SQL-1.03.sql")
NOTAVIA_EMBED(notavia_sql_nfse_104, "NOTAVIA-NFSE.SQL-1.04.sql")
NOTAVIA_EMBED(notavia_sql_cidade_ibge, "CIDADE_IBGE.sql")

namespace framework {
namespace {

std::string_view Text(const char* begin, const char* end)
{
    return std::string_view(begin, static_cast<size_t>(end - begin));
}

} // namespace

std::span<const EmbeddedScript> EmbeddedScripts()
{
    static const std::array<EmbeddedScript, 14> scripts {{
        {"COMMON.SQL", "1.00", Text(notavia_sql_common_100, notavia_sql_common_100_end)},
        {"COMMON.SQL", "1.01", Text(notavia_sql_common_101, notavia_sql_common_101_end)},
        {"COMMON.SQL", "1.02", Text(notavia_sql_common_102, notavia_sql_common_102_end)},
        {"COMMON.SQL", "1.03", Text(notavia_sql_common_103, notavia_sql_common_103_end)},
        {"COMMON.SQL", "1.04", Text(notavia_sql_common_104, notavia_sql_common_104_end)},
        {"COMMON.SQL", "1.05", Text(notavia_sql_common_105, notavia_sql_common_105_end)},
        {"COMMON.SQL", "1.06", Text(notavia_sql_common_106, notavia_sql_common_106_end)},
        {"COMMON.SQL", "1.07", Text(notavia_sql_common_107, notavia_sql_common_107_end)},
        {"COMMON.SQL", "1.08", Text(notavia_sql_common_108, notavia_sql_common_108_end)},
        {"NOTAVIA-NFSE.SQL", "1.00", Text(notavia_sql_nfse_100, notavia_sql_nfse_100_end)},
        {"NOTAVIA-NFSE.SQL", "1.01", Text(notavia_sql_nfse_101, notavia_sql_nfse_101_end)},
        {"NOTAVIA-NFSE.SQL", "1.02", Text(notavia_sql_nfse_102, notavia_sql_nfse_102_end)},
        {"NOTAVIA-NFSE.SQL", "1.03", Text(notavia_sql_nfse_103, notavia_sql_nfse_103_end)},
        {"NOTAVIA-NFSE.SQL", "1.04", Text(notavia_sql_nfse_104, notavia_sql_nfse_104_end)},
    }};
    return scripts;
}

std::optional<std::string_view> FindSqlResource(std::string_view name)
{
    // The city table is too large for a script line of its own; version 1.01 names it instead.
    if (name == "13NOTAVIANFSE101SQL") {
        return Text(notavia_sql_cidade_ibge, notavia_sql_cidade_ibge_end);
    }
    return std::nullopt;
}

} // namespace framework
