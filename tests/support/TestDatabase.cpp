#include "tests/support/TestDatabase.h"

#include "framework/data/CmDatabase.h"
#include "framework/data/SqlStatement.h"
#include "framework/schema/EmbeddedScripts.h"
#include "framework/schema/dmVersaoNotavia.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tests {
namespace {

uint64_t ScriptsFingerprint()
{
    uint64_t hash = 1469598103934665603ull;
    auto add = [&](std::string_view text) {
        for (unsigned char c : text) {
            hash = (hash ^ c) * 1099511628211ull;
        }
        hash = (hash ^ 0xff) * 1099511628211ull;
    };
    for (const framework::EmbeddedScript& script : framework::EmbeddedScripts()) {
        add(script.Set);
        add(script.Version);
        add(script.Text);
    }
    add(framework::FindSqlResource("13NOTAVIANFSE101SQL").value_or(""));
    return hash;
}

// Holds an exclusive lock on a file while building, so parallel test processes build once.
class FileLock
{
public:
    explicit FileLock(const std::string& path)
        : m_fd(open(path.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0600))
    {
        if (m_fd < 0 || flock(m_fd, LOCK_EX) != 0) {
            throw std::runtime_error("cannot lock " + path);
        }
    }
    ~FileLock()
    {
        flock(m_fd, LOCK_UN);
        close(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

// Test databases are thrown away, so they skip the synchronous writes a real one needs: on a
// busy disk those make building the schema many times slower.
void AsynchronousWrites(const std::string& path)
{
    TCmDatabase database;
    database.SetDatabaseName(path);
    database.SetParams({"user_name=SYSDBA", "force_write=0"});
    database.Open();
    database.Close();
}

void CreateForTests(const std::string& path)
{
    TCmDatabase database;
    database.SetDatabaseName(path);
    database.SetParams({"USER 'SYSDBA'", "PAGE_SIZE 4096"});
    database.CreateDatabase();
    database.Close();
    AsynchronousWrites(path);
}

std::string BuiltDatabase()
{
    const char* root = std::getenv("NOTAVIA_TEST_TMP");
    const std::filesystem::path folder = std::filesystem::path(root && *root ? root : "/tmp/notavia-tests") / "schema";
    std::filesystem::create_directories(folder);
    const std::string path = (folder / ("notavia-" + std::to_string(ScriptsFingerprint()) + ".fdb")).string();
    FileLock lock(path + ".lock");
    if (!std::filesystem::exists(path)) {
        const std::string building = path + ".building";
        std::filesystem::remove(building);
        CreateForTests(building);
        TdmVersaoNotavia module;
        module.RunAllScripts(building);
        AsynchronousWrites(building);
        std::filesystem::rename(building, path);
    }
    return path;
}

} // namespace

std::string CopySchemaDatabase(const std::string& fileName)
{
    static const std::string built = BuiltDatabase();
    const std::string target = TempDir() + fileName;
    std::filesystem::copy_file(built, target, std::filesystem::copy_options::overwrite_existing);
    return target;
}

std::string CreateEmptyDatabase(const std::string& fileName)
{
    const std::string path = TempDir() + fileName;
    CreateForTests(path);
    return path;
}

namespace {

std::string Shown(const framework::SqlValue& value)
{
    return value.IsNull() ? "<null>" : value.AsString();
}

void Bind(framework::SqlStatement& statement, const std::vector<framework::SqlValue>& values)
{
    for (size_t i = 0; i < values.size(); ++i) {
        statement.Params(static_cast<int>(i)).Value = values[i];
    }
}

} // namespace

DatabaseSession::DatabaseSession(const std::string& path)
{
    Transaction.SetParams({"read_committed", "rec_version", "nowait"});
    Database.SetDefaultTransaction(&Transaction);
    Database.SetDatabaseName(path);
    Database.Open();
}

void DatabaseSession::Exec(const std::string& sql, const std::vector<framework::SqlValue>& values)
{
    framework::SqlStatement statement(&Database, &Transaction);
    statement.SetSQL(sql);
    Bind(statement, values);
    statement.ExecQuery();
}

std::string DatabaseSession::Value(const std::string& sql, const std::vector<framework::SqlValue>& values)
{
    framework::SqlStatement statement(&Database, &Transaction);
    statement.SetSQL(sql);
    Bind(statement, values);
    statement.ExecQuery();
    return statement.Eof() ? "<eof>" : Shown(statement.Fields(0).Value);
}

std::vector<std::vector<std::string>> DatabaseSession::Rows(const std::string& sql)
{
    framework::SqlStatement statement(&Database, &Transaction);
    statement.SetSQL(sql);
    statement.ExecQuery();
    std::vector<std::vector<std::string>> rows;
    while (!statement.Eof()) {
        std::vector<std::string> row;
        for (int i = 0; i < statement.FieldCount(); ++i) {
            row.push_back(Shown(statement.Fields(i).Value));
        }
        rows.push_back(row);
        statement.Next();
    }
    return rows;
}

void DatabaseSession::Commit()
{
    if (Transaction.InTransaction()) {
        Transaction.Commit();
    }
}

} // namespace tests
