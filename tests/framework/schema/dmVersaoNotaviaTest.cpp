#include "framework/schema/dmVersaoNotavia.h"

#include "framework/data/DatabaseError.h"
#include "framework/schema/EmbeddedScripts.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using framework::SqlValue;
using Rows = std::vector<std::vector<std::string>>;

TEST(TdmVersaoNotavia, AllScriptsBuildTheSchemaWithItsSeedRows)
{
    tests::DatabaseSession db(tests::CopySchemaDatabase());
    EXPECT_EQ((Rows {{"1", "COMMON.SQL", "1.08"}, {"13", "NOTAVIA-NFSE.SQL", "1.04"}}),
              db.Rows("select ID, SCRIPT, NUMERO from VERSAO order by ID"));
    EXPECT_EQ((Rows {{"3"}, {"13"}}), db.Rows("select ID from MODULO order by ID"));
    EXPECT_EQ("NOTAVIA NFSE", db.Value("select MODULO from MODULO where ID = 13"));
    EXPECT_EQ((Rows {{"1", "ADMIN", "", "Administrador", "Sistema", "T", "1"}}),
              db.Rows("select ID, USUARIO, coalesce(SENHA, ''), PRIMEIRO_NOME, ULTIMO_NOME, SUPERVISOR, SUPERVISORID "
                      "from USUARIO"));
    EXPECT_EQ((Rows {{"1", "3", "S"}}), db.Rows("select USUARIOID, MODULOID, TUDO from USUARIO_MODULO"));
    EXPECT_EQ("1", db.Value("select gen_id(GEN_USUARIO_ID, 0) from RDB$DATABASE"));

    // Every table of the schema, and no other.
    EXPECT_EQ((Rows {{"BANCO"},
                     {"CIDADE_IBGE"},
                     {"CLIENTE"},
                     {"CONTA_CORRENTE"},
                     {"DADOS_EMPRESA"},
                     {"FORNECEDOR"},
                     {"MODULO"},
                     {"NFSE_RPS"},
                     {"PARAMETROS"},
                     {"PRODUTO"},
                     {"ROTINA"},
                     {"UNIDADE"},
                     {"USUARIO"},
                     {"USUARIO_LOG"},
                     {"USUARIO_MODULO"},
                     {"USUARIO_ROTINA"},
                     {"VERSAO"}}),
              db.Rows("select trim(RDB$RELATION_NAME) from RDB$RELATIONS where RDB$SYSTEM_FLAG = 0 order by 1"));
    EXPECT_EQ("4096", db.Value("select MON$PAGE_SIZE from MON$DATABASE"));
    EXPECT_EQ("3", db.Value("select MON$SQL_DIALECT from MON$DATABASE"));
    EXPECT_EQ("NONE", db.Value("select trim(RDB$CHARACTER_SET_NAME) from RDB$DATABASE"));
}

TEST(TdmVersaoNotavia, CityTableHoldsEveryMunicipalityAndTheTwoCorrections)
{
    tests::DatabaseSession db(tests::CopySchemaDatabase());
    EXPECT_EQ("5570", db.Value("select count(*) from CIDADE_IBGE"));
    EXPECT_EQ("5570",
              db.Value("select count(distinct CODIGO_MUNICIPIO) from CIDADE_IBGE "
                       "where char_length(CODIGO_MUNICIPIO) = 7"));
    EXPECT_EQ("27", db.Value("select count(distinct UF) from CIDADE_IBGE"));
    EXPECT_EQ((Rows {{"5300108", "Brasília", "BRASILIA"}}),
              db.Rows("select CODIGO_MUNICIPIO, NOME_CIDADE, NOME_CIDADE_LAYOUT from CIDADE_IBGE where UF = 'DF'"));
    EXPECT_EQ((Rows {{"1504752"}, {"2206720"}, {"4212650"}, {"4220000"}, {"4314548"}, {"5006275"}}),
              db.Rows("select CODIGO_MUNICIPIO from CIDADE_IBGE where ID > 5564 order by ID"));
    EXPECT_EQ("0",
              db.Value("select count(*) from CIDADE_IBGE C join CIDADE_IBGE D on D.ID = C.ID + 1 "
                       "where C.ID < 5564 and D.CODIGO_MUNICIPIO <= C.CODIGO_MUNICIPIO"));
    EXPECT_EQ((Rows {{"3515004", "Embu das Artes", "EMBUDASARTES"}, {"3530805", "Mogi Mirim", "MOGIMIRIM"}}),
              db.Rows("select CODIGO_MUNICIPIO, NOME_CIDADE, NOME_CIDADE_LAYOUT from CIDADE_IBGE "
                      "where CODIGO_MUNICIPIO in ('3530805', '3515004') order by 1"));
    EXPECT_EQ("GUAJARA-MIRIM",
              db.Value("select NOME_CIDADE_LAYOUT from CIDADE_IBGE where NOME_CIDADE = ?",
                       {SqlValue::Text("Guajará-Mirim")}));
}

TEST(TdmVersaoNotavia, TriggersFillOnlyAMissingId)
{
    tests::DatabaseSession db(tests::CopySchemaDatabase());
    db.Exec("insert into BANCO (BANCO, NOME) values (341, 'Itaú')");
    db.Exec("insert into UNIDADE (ID, SIGLA) values (50, 'UN')");
    db.Exec("insert into FORNECEDOR (ID, NOME) values (50, 'F')");
    struct Case
    {
        const char* Table;
        const char* Columns; // besides ID, enough to satisfy the table's constraints
        const char* Values;
    };
    const Case cases[] = {
        {"PARAMETROS", "PARAMETRO", "'P'"},
        {"CLIENTE", "NOME", "'C'"},
        {"UNIDADE", "SIGLA", "'U'"},
        {"BANCO", "BANCO", "(select coalesce(max(BANCO), 0) + 1 from BANCO)"},
        {"CONTA_CORRENTE", "BANCO, NUM_AGENCIA, NUM_CONTA", "341, '1', (select count(*) from CONTA_CORRENTE)"},
        {"FORNECEDOR", "NOME", "'F'"},
        {"PRODUTO", "UNIDADEID, FABRICANTEID", "50, 50"},
        {"USUARIO", "USUARIO", "(select 'U' || count(*) from USUARIO)"},
        {"USUARIO_LOG", "USUARIOID", "1"},
        {"ROTINA", "NOME", "'R'"},
        {"USUARIO_ROTINA", "STATUS", "1"},
        {"NFSE_RPS", "RPS_NumeroRps", "'1'"},
        {"CIDADE_IBGE", "NOME_CIDADE", "'X'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Table);
        const std::string table = c.Table;
        const std::string generator = "gen_id(GEN_" + table + "_ID, 0)";
        const int64_t before = std::stoll(db.Value("select " + generator + " from RDB$DATABASE"));
        db.Exec("insert into " + table + " (ID, " + c.Columns + ") values (900001, " + c.Values + ")");
        EXPECT_EQ(std::to_string(before), db.Value("select " + generator + " from RDB$DATABASE"))
            << "an explicit ID must not advance the generator";
        db.Exec("insert into " + table + " (ID, " + c.Columns + ") values (null, " + c.Values + ")");
        EXPECT_EQ(std::to_string(before + 1), db.Value("select " + generator + " from RDB$DATABASE"));
        EXPECT_EQ(
            "2",
            db.Value("select count(*) from " + table + " where ID in (900001, " + std::to_string(before + 1) + ")"));
    }
}

TEST(TdmVersaoNotavia, UserLogTakesTheServersDateAndTime)
{
    tests::DatabaseSession db(tests::CopySchemaDatabase());
    db.Exec("insert into USUARIO_LOG (USUARIOID, DATA, HORA, LOG) values (1, '2001-01-01', '01:02:03', 'x')");
    EXPECT_EQ("1",
              db.Value("select count(*) from USUARIO_LOG where DATA = current_date "
                       "and HORA between current_time - 60 and current_time + 1"));
}

TEST(TdmVersaoNotavia, DeletesAndKeyChangesCascade)
{
    tests::DatabaseSession db(tests::CopySchemaDatabase());
    db.Exec("insert into USUARIO (ID, USUARIO) values (7, 'MARIA')");
    db.Exec("insert into USUARIO_LOG (USUARIOID, LOG) values (7, 'entrou')");
    db.Exec("insert into USUARIO_LOG (USUARIOID, LOG) values (1, 'admin')");
    db.Exec("insert into CLIENTE (NOME, DESATIVACAO_PORID) values ('Cliente', 7)");
    db.Exec("insert into BANCO (BANCO, NOME) values (1, 'Banco do Brasil')");
    db.Exec("insert into CONTA_CORRENTE (BANCO, NUM_AGENCIA, NUM_CONTA) values (1, '0001', '123')");

    db.Exec("update USUARIO set ID = 8 where ID = 7");
    EXPECT_EQ("8", db.Value("select USUARIOID from USUARIO_LOG where LOG = 'entrou'"));
    EXPECT_EQ("8", db.Value("select DESATIVACAO_PORID from CLIENTE"));
    db.Exec("update CLIENTE set DESATIVACAO_PORID = null");
    db.Exec("delete from USUARIO where ID = 8");
    EXPECT_EQ((Rows {{"admin"}}), db.Rows("select LOG from USUARIO_LOG"));

    db.Exec("update BANCO set BANCO = 2 where BANCO = 1");
    EXPECT_EQ("2", db.Value("select BANCO from CONTA_CORRENTE"));
    EXPECT_THROW(db.Exec("delete from BANCO"), framework::DatabaseError);
}

TEST(TdmVersaoNotavia, StoredParametersReadTheNewestMatchingRow)
{
    tests::DatabaseSession db(tests::CopySchemaDatabase());
    const std::string get = "select VALOR from GETPARAMS(?, ?, ?, ?, ?, ?)";
    auto key = [](const char* apelido, const char* usuario) {
        return std::vector<SqlValue> {SqlValue::Text(apelido),       SqlValue::Text(usuario), SqlValue::Text("NFSE"),
                                      SqlValue::Text("CERTIFICADO"), SqlValue::Integer(0),    SqlValue::Integer(0)};
    };
    auto set = [&](const char* apelido, const char* usuario, const char* valor) {
        std::vector<SqlValue> values = key(apelido, usuario);
        values.push_back(SqlValue::Text(valor));
        db.Exec("execute procedure SETPARAMS ?, ?, ?, ?, ?, ?, ?", values);
    };

    EXPECT_EQ((Rows {{"<null>"}}), db.Rows("select VALOR from GETPARAMS('', 'ADMIN', 'NFSE', 'NADA', 0, 0)"));
    set("", "ADMIN", "primeiro");
    set("", "ADMIN", "segundo");
    EXPECT_EQ("1", db.Value("select count(*) from PARAMETROS where APELIDO is null"));
    EXPECT_EQ("segundo", db.Value(get, key("", "ADMIN")));
    // Another user's value, or another company's, is not this one.
    EXPECT_EQ("<null>", db.Value(get, key("", "")));
    EXPECT_EQ("<null>", db.Value(get, key("EMP", "ADMIN")));

    // Two rows for one parameter: the count-then-insert of SETPARAMS lets concurrent writers
    // (and NULL keys) make them. Reading goes on working and sees the newest.
    db.Exec("insert into PARAMETROS (APELIDO, USUARIO, MODULO, PARAMETRO, ANO, MES, VALOR) "
            "values (null, 'ADMIN', 'NFSE', 'CERTIFICADO', 0, 0, 'terceiro')");
    EXPECT_EQ((Rows {{"terceiro"}}), db.Rows("select VALOR from GETPARAMS('', 'ADMIN', 'NFSE', 'CERTIFICADO', 0, 0)"));
}
