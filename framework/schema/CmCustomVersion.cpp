#include "framework/schema/CmCustomVersion.h"

#include "framework/data/ScopedWaitCursor.h"
#include "framework/schema/EmbeddedScripts.h"
#include "platform/Format.h"

#include <algorithm>

namespace {

// The administrator's password: every connection of the system is SYSDBA's.
const char* const kAdministratorPassword = "quartzite";

const char* const kIncompatible = "A Versão deste programa é incompatível com a versão do banco de dados\r\n"
                                  "Atualize o programa e tente novamente.\r\n\r\n";

std::vector<std::string> TransactionParams()
{
    return {"read_committed", "rec_version", "nowait"};
}

using WaitCursor = framework::ScopedWaitCursor<framework::VersionUpgradeUi>;

} // namespace

TClsCustomVersion::TClsCustomVersion()
    : m_DataBase(std::make_unique<TCmDatabase>("FDataBase"))
    , m_DefaultTrans(std::make_unique<TCmTransaction>("DefaultTrans"))
    , m_DDLTrans(std::make_unique<TCmTransaction>("DDLTrans"))
    , m_SQL(std::make_unique<framework::SqlStatement>())
{
    m_DataBase->SetParams({"user_name=SYSDBA", std::string("password=") + kAdministratorPassword});
    m_DataBase->SetLoginPrompt(false);
    m_DataBase->SetSQLDialect(3);
    for (TCmTransaction* transaction : {m_DefaultTrans.get(), m_DDLTrans.get()}) {
        transaction->SetParams(TransactionParams());
        transaction->SetDefaultAction(TTransactionAction::TARollback);
        transaction->SetAutoStopAction(TAutoStopAction::saNone);
    }
    m_SQL->SetDatabase(m_DataBase.get());
    m_SQL->SetTransaction(m_DefaultTrans.get());
    m_SQL->SetSQL("select * from VERSAO order by ID");
    m_IBSQLObj.SetDefaultTransIDX(0);
    m_IBSQLObj.SetDDLTransIDX(0);
    m_IBSQLObj.SetAutoDDL(true);
    m_IBSQLObj.SetStatistics(false);
    LoadEmbeddedSet(m_ScriptsCommon, "COMMON.SQL");
}

TClsCustomVersion::~TClsCustomVersion() = default;

void TClsCustomVersion::LoadEmbeddedSet(TCmScriptsSQL& scripts, std::string_view set)
{
    for (const framework::EmbeddedScript& script : framework::EmbeddedScripts()) {
        if (script.Set == set) {
            scripts.Add(
                TVersion(std::string(script.Set), std::string(script.Version), TCmIBSQLObj::SplitLines(script.Text)));
        }
    }
}

std::unique_ptr<TCmScriptsSQL> TClsCustomVersion::MergeScripts() const
{
    auto merged = std::make_unique<TCmScriptsSQL>();
    for (const TCmScriptsSQL* source : {&m_ScriptsCommon, &m_Scripts}) {
        for (const TVersion& item : source->Versions()) {
            TVersion& copy = merged->Add(TVersion(item.Name(), item.Version(), {}));
            const std::vector<std::string>& lines = item.Script();
            if (!lines.empty() && lines.front().substr(0, 12) == "RESOURCEFILE") {
                const size_t equals = lines.front().find('=');
                const std::string name = equals == std::string::npos ? "" : lines.front().substr(equals + 1);
                const std::optional<std::string_view> resource = framework::FindSqlResource(name);
                if (!resource) {
                    throw framework::DatabaseError("Recurso de script não encontrado: " + name);
                }
                copy.SetScript(TCmIBSQLObj::SplitLines(*resource));
            } else {
                copy.SetScript(lines);
            }
        }
    }
    return merged;
}

std::vector<TClsCustomVersion::VersionRow> TClsCustomVersion::ReadVersionRows(const std::string& databaseName)
{
    m_DataBase->SetDatabaseName(databaseName);
    m_DataBase->SetDefaultTransaction(m_DefaultTrans.get());
    m_DataBase->Open();
    std::vector<VersionRow> rows;
    try {
        if (!m_DefaultTrans->InTransaction()) {
            m_DefaultTrans->StartTransaction();
        }
        m_SQL->ExecQuery();
        while (!m_SQL->Eof()) {
            rows.emplace_back(m_SQL->FieldByName("SCRIPT").AsString(), m_SQL->FieldByName("NUMERO").AsString());
            m_SQL->Next();
        }
        m_SQL->Close();
    } catch (...) {
        m_DataBase->Close();
        throw;
    }
    m_DataBase->Close();
    return rows;
}

void TClsCustomVersion::RunScript(const TVersion& item)
{
    if (m_onScript) {
        m_onScript(item);
    }
    m_IBSQLObj.SetDatabase(m_DataBase.get());
    m_IBSQLObj.SetAutoDDL(true);
    int defaultIndex = -1;
    int ddlIndex = -1;
    for (int i = 0; i < m_DataBase->TransactionCount(); ++i) {
        const std::string& name = m_DataBase->Transactions(i)->Name();
        if (name == "DefaultTrans" && defaultIndex < 0) {
            defaultIndex = i;
        } else if (name == "DDLTrans" && ddlIndex < 0) {
            ddlIndex = i;
        }
    }
    m_IBSQLObj.SetDefaultTransIDX(defaultIndex);
    m_IBSQLObj.SetDDLTransIDX(ddlIndex);
    m_IBSQLObj.SetQuery(item.Script());
    m_IBSQLObj.ExecuteScript();
    for (TCmTransaction* transaction : {m_DefaultTrans.get(), m_DDLTrans.get()}) {
        if (transaction->InTransaction()) {
            transaction->Commit();
        }
    }
}

bool TClsCustomVersion::RunAllScripts(const std::string& databaseName)
{
    m_DefaultTrans->SetDefaultDatabase(m_DataBase.get());
    m_DDLTrans->SetDefaultDatabase(m_DataBase.get());
    m_DataBase->SetDefaultTransaction(m_DefaultTrans.get());
    m_DataBase->SetDatabaseName(databaseName);
    const std::unique_ptr<TCmScriptsSQL> merged = MergeScripts();
    // A database being created holds nothing yet, so the scripts run with asynchronous writes, as
    // a restore does; synchronous writes come back on before the database is handed over. On a
    // busy disk this makes creation several times faster.
    SetForcedWrites(false);
    try {
        for (const TVersion& item : merged->Versions()) {
            if (!m_DataBase->Connected()) {
                m_DataBase->Open();
            }
            RunScript(item);
            m_DataBase->Close();
        }
    } catch (...) {
        try {
            m_DataBase->Close();
            SetForcedWrites(true);
        } catch (const std::exception&) {
            // The script's error is the one to report.
        }
        throw;
    }
    SetForcedWrites(true);
    return true;
}

void TClsCustomVersion::SetForcedWrites(bool on)
{
    const std::vector<std::string> params = m_DataBase->Params();
    std::vector<std::string> switched = params;
    switched.push_back(on ? "force_write=1" : "force_write=0");
    m_DataBase->SetParams(switched);
    try {
        m_DataBase->Open();
        m_DataBase->Close();
    } catch (...) {
        m_DataBase->SetParams(params);
        throw;
    }
    m_DataBase->SetParams(params);
}

void TClsCustomVersion::ReportScriptFailure(const TVersion& item, const std::exception& error)
{
    std::string text =
        "Não foi possível atualizar o banco de dados com o script " + item.DisplayName() + ".\r\n" + error.what();
    const auto* scriptError = dynamic_cast<const EISQLException*>(&error);
    if (scriptError && !scriptError->Text().empty()) {
        text += "\r\n\r\nComando:\r\n" + scriptError->Text();
    }
    const auto* databaseError = dynamic_cast<const framework::DatabaseError*>(&error);
    try {
        m_ui->ReportScriptFailure(text, databaseError ? *databaseError : framework::DatabaseError(error.what()));
    } catch (const std::exception&) {
        // The upgrade fails either way.
    }
}

void TClsCustomVersion::ShowMessage(const std::string& text)
{
    if (m_ui) {
        m_ui->ShowMessage(text);
    }
}

bool TClsCustomVersion::CheckAndUpgrade(const std::string& databaseName)
{
    std::unique_ptr<TCmScriptsSQL> merged;
    try {
        merged = MergeScripts();
    } catch (const std::exception&) {
        return false;
    }
    WaitCursor cursor(m_ui);
    m_DefaultTrans->SetDefaultDatabase(m_DataBase.get());
    m_DDLTrans->SetDefaultDatabase(m_DataBase.get());

    std::vector<VersionRow> snapshot;
    try {
        snapshot = ReadVersionRows(databaseName);
    } catch (const std::exception&) {
        return false;
    }

    bool result = true;
    bool applied = false;
    const TVersion* running = nullptr;
    try {
        bool asked = false;
        bool approved = false;
        for (const TVersion& item : merged->Versions()) {
            const auto row = std::find_if(snapshot.begin(), snapshot.end(),
                                          [&](const VersionRow& r) { return r.first == item.Name(); });
            const bool due = row == snapshot.end() || VersionNumber(row->second) < VersionNumber(item.Version());
            if (!due) {
                continue;
            }
            if (!m_DataBase->Connected()) {
                m_DataBase->Open();
            }
            if (!asked) {
                const bool skipBackup = m_ui ? !m_ui->AskBackup() : true;
                approved = m_ui && m_ui->ApproveUpdate(*m_DataBase, skipBackup);
                asked = true;
            }
            if (approved) {
                applied = true;
                m_DataBase->Close();
                m_DataBase->Open();
                running = &item;
                RunScript(item);
                running = nullptr;
            }
            m_DataBase->Close();
        }

        // The program's last version of each set, in order of first appearance.
        std::vector<std::pair<std::string, std::string>> expected;
        for (const TVersion& item : merged->Versions()) {
            auto found =
                std::find_if(expected.begin(), expected.end(), [&](const auto& e) { return e.first == item.Name(); });
            if (found == expected.end()) {
                expected.emplace_back(item.Name(), item.Version());
            } else {
                found->second = item.Version();
            }
        }
        const std::vector<VersionRow> rows = ReadVersionRows(databaseName);
        for (const auto& [name, version] : expected) {
            const auto row =
                std::find_if(rows.begin(), rows.end(), [&](const VersionRow& r) { return r.first == name; });
            if (row == rows.end()) {
                result = false;
                ShowMessage(std::string(kIncompatible) + "Falta o script: " + name + "-" + version);
                break;
            }
            if (row->second != version) {
                result = false;
                ShowMessage(std::string(kIncompatible) + "Programa: " + name + "-" + version + "\r\n" +
                            "Banco de Dados: " + row->first + "-" + row->second);
            }
        }
    } catch (const std::exception& error) {
        // The caller offers to try the connection again; a failing script is shown and logged
        // with its statement first, or nobody could tell why the database stays behind.
        if (running && m_ui) {
            ReportScriptFailure(*running, error);
        }
        if (m_DataBase->Connected()) {
            try {
                m_DataBase->Close();
            } catch (const std::exception&) {
            }
        }
        return false;
    }
    if (applied) {
        ShowMessage("Banco de Dados foi atualizado com sucesso.");
    }
    return result;
}
