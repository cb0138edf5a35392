#include "framework/data/CmDataSet.h"
#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/DataSetModel.h"
#include "framework/data/SqlStatement.h"
#include "framework/schema/dmVersaoNotavia.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

using framework::SqlStatement;
using framework::SqlValue;

namespace {

// Databases are made as the program makes them (synchronous writes on), in a private folder.
class BenchFolder
{
public:
    BenchFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/notavia-bench.XXXXXX";
        m_path = mkdtemp(pattern.data()) ? pattern + "/" : "";
    }
    ~BenchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

void CreateFromScripts(const std::string& path)
{
    {
        TCmDatabase database;
        database.SetDatabaseName(path);
        database.SetParams({"USER 'SYSDBA'", "PASSWORD 'quartzite'", "PAGE_SIZE 4096"});
        database.CreateDatabase();
        database.Close();
    }
    TdmVersaoNotavia module;
    module.RunAllScripts(path);
}

// A database of the program's scripts, open in a read-committed transaction, as the RPS
// manager has it.
struct RpsDatabase
{
    RpsDatabase()
    {
        const std::string path = Folder.Path() + "rps.fdb";
        CreateFromScripts(path);
        Transaction.SetParams({"read_committed", "rec_version", "nowait"});
        Database.SetDefaultTransaction(&Transaction);
        Database.SetDatabaseName(path);
        Database.Open();
    }

    BenchFolder Folder;
    TCmDatabase Database;
    TCmTransaction Transaction;
};

// A new database with every script applied: what the create-database form and notavia-db do.
void BM_CreateDatabaseFromScripts(benchmark::State& state)
{
    BenchFolder folder;
    int made = 0;
    for (auto _ : state) {
        const std::string path = folder.Path() + "novo" + std::to_string(++made) + ".fdb";
        CreateFromScripts(path);
        state.PauseTiming();
        std::filesystem::remove(path);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CreateDatabaseFromScripts)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// range(0) RPS rows inserted in one transaction, committed, then read back in full.
void BM_InsertThenSelectRps(benchmark::State& state)
{
    RpsDatabase rpsDatabase;
    TCmDatabase& database = rpsDatabase.Database;
    TCmTransaction& transaction = rpsDatabase.Transaction;
    const std::string discriminacao(400, 'x');
    for (auto _ : state) {
        SqlStatement insert(&database, &transaction);
        insert.SetSQL(
            "insert into NFSE_RPS (LOT_NUMEROLOTE, RPS_NUMERORPS, RPS_DATAEMISSAO, "
            "RPS_DISCRIMINACAOSERVICO, RPS_VALORSERVICOS, RPS_ALIQUOTAISS, PRE_RAZAOSOCIALPRESTADOR, "
            "TOM_RAZAOSOCIALTOMADOR, TOM_UFTOMADOR, RET_FASE1_XML_GERADO) values (:LOTE, :RPS, :DATA, "
            ":DISCRIMINACAO, :VALOR, :ALIQUOTA, 'Prestação de Serviços Ltda', 'Tomador São João', 'SP', '1')");
        for (int64_t i = 0; i < state.range(0); ++i) {
            insert.SetParam("LOTE", SqlValue::Integer(i / 50));
            insert.SetParam("RPS", SqlValue::Text(std::to_string(i)));
            insert.SetParam("DATA", SqlValue::Text("2026-12-11T10:00:00"));
            insert.SetParam("DISCRIMINACAO", SqlValue::Text(discriminacao));
            insert.SetParam("VALOR", SqlValue::Double(1500.25 + static_cast<double>(i)));
            insert.SetParam("ALIQUOTA", SqlValue::Double(2.5));
            insert.ExecQuery();
        }
        transaction.Commit();

        SqlStatement select(&database, &transaction);
        select.SetSQL("select * from NFSE_RPS");
        select.ExecQuery();
        int64_t rows = 0;
        double total = 0;
        while (!select.Eof()) {
            total += select.FieldByName("RPS_VALORSERVICOS").AsDouble();
            ++rows;
            select.Next();
        }
        benchmark::DoNotOptimize(total);
        transaction.Commit();
        if (rows != state.range(0)) {
            state.SkipWithError("row count differs");
        }

        state.PauseTiming();
        SqlStatement wipe(&database, &transaction);
        wipe.SetSQL("delete from NFSE_RPS");
        wipe.ExecQuery();
        transaction.Commit();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_InsertThenSelectRps)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// A year of a busy provider in the RPS manager: range(0) rows of one provider opened into the
// framework dataset (the manager's own select) and every row read through the grid model, in
// the dozen columns the manager shows.
void BM_OpenRpsDataSetThroughModel(benchmark::State& state)
{
    RpsDatabase rpsDatabase;
    TCmDatabase& database = rpsDatabase.Database;
    TCmTransaction& transaction = rpsDatabase.Transaction;
    {
        SqlStatement insert(&database, &transaction);
        insert.SetSQL("insert into NFSE_RPS (LOT_NUMEROLOTE, RPS_NUMERORPS, RPS_DATAEMISSAO, "
                      "RPS_DISCRIMINACAOSERVICO, RPS_VALORSERVICOS, RPS_ALIQUOTAISS, PRE_CPFCNPJPRESTADOR, "
                      "PRE_RAZAOSOCIALPRESTADOR, TOM_RAZAOSOCIALTOMADOR, TOM_UFTOMADOR, RET_FASE1_XML_GERADO, "
                      "RET_NFSE_NUMERO) values (:LOTE, :RPS, :DATA, :DISCRIMINACAO, :VALOR, 2.5, '12345678000199', "
                      "'Prestação de Serviços Ltda', 'Tomador São João', 'SP', '1', :NUMERO)");
        const std::string discriminacao(400, 'x');
        for (int64_t i = 0; i < state.range(0); ++i) {
            insert.SetParam("LOTE", SqlValue::Integer(i / 50));
            insert.SetParam("RPS", SqlValue::Text(std::to_string(i)));
            insert.SetParam("DATA",
                            SqlValue::Text("2026-" + std::string(i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) +
                                           "-10T10:00:00"));
            insert.SetParam("DISCRIMINACAO", SqlValue::Text(discriminacao));
            insert.SetParam("VALOR", SqlValue::Double(1500.25 + static_cast<double>(i)));
            insert.SetParam("NUMERO", SqlValue::Text(std::to_string(100000 + i)));
            insert.ExecQuery();
        }
        transaction.Commit();
    }
    const char* shown[] = {"RPS_NUMERORPS",          "LOT_NUMEROLOTE",         "RPS_DATAEMISSAO",
                           "TOM_RAZAOSOCIALTOMADOR", "TOM_UFTOMADOR",          "RPS_VALORSERVICOS",
                           "RPS_ALIQUOTAISS",        "RET_FASE1_XML_GERADO",   "RET_FASE2_XML_ASSINADO",
                           "RET_FASE3_XML_ENVIADO",  "RET_FASE4_RETORNO_NFSE", "RET_NFSE_NUMERO"};
    int64_t rows = 0;
    for (auto _ : state) {
        TCmDataSet rps("NFSE_RPS");
        rps.SetDatabase(&database);
        rps.SetTransaction(&transaction);
        rps.SetSelectSQL("select * from NFSE_RPS  where  ( PRE_CPFCNPJPRESTADOR = :CNPJ_CPF and  "
                         "RPS_DATAEMISSAO >= :INICIO and  RPS_DATAEMISSAO <= :FIM )  order by ID ");
        rps.ParamByName("CNPJ_CPF").Value = SqlValue::Text("12345678000199");
        rps.ParamByName("INICIO").Value = SqlValue::Text("2026-01-01");
        rps.ParamByName("FIM").Value = SqlValue::Text("2026-12-31T23:59:59");
        rps.InitFields();
        for (int i = 0; i < rps.FieldCount(); ++i) {
            TField& field = rps.Fields(i);
            field.SetVisible(std::find_if(std::begin(shown), std::end(shown), [&](const char* name) {
                                 return field.FieldName() == name;
                             }) != std::end(shown));
        }
        rps.FieldByName("RPS_VALORSERVICOS").SetDisplayFormat("#,##0.00");
        framework::DataSetModel model(&rps);
        rps.Open();
        qsizetype characters = 0;
        for (int row = 0; row < model.rowCount(); ++row) {
            for (int column = 0; column < model.columnCount(); ++column) {
                characters += model.data(model.index(row, column)).toString().size();
            }
        }
        benchmark::DoNotOptimize(characters);
        rows = model.rowCount();
        rps.Close();
        transaction.Commit();
    }
    if (rows != state.range(0)) {
        state.SkipWithError("row count differs");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenRpsDataSetThroughModel)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
