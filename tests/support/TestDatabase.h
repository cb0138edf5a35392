#pragma once

#include "framework/data/CmDatabase.h"
#include "framework/data/CmTransaction.h"
#include "framework/data/SqlValue.h"

#include <string>
#include <vector>

namespace tests {

// A private copy, inside TempDir(), of the database the program's scripts build. The database
// itself is built once per run of the test programs (and again when a script changes) under
// NOTAVIA_TEST_TMP; two embedded engines must never open one file, so every test gets a copy.
std::string CopySchemaDatabase(const std::string& fileName = "notavia.fdb");

// A new, empty database (dialect 3, page size 4096) inside TempDir().
std::string CreateEmptyDatabase(const std::string& fileName = "empty.fdb");

// A connection and one read-committed transaction, for looking at a database in a test.
// Values come back as text: "<null>" for NULL.
class DatabaseSession
{
public:
    explicit DatabaseSession(const std::string& path);

    // Runs a statement; "?" places take the values in order.
    void Exec(const std::string& sql, const std::vector<framework::SqlValue>& values = {});
    // The first column of the first row; "<eof>" without rows.
    std::string Value(const std::string& sql, const std::vector<framework::SqlValue>& values = {});
    std::vector<std::vector<std::string>> Rows(const std::string& sql);
    void Commit();

    TCmDatabase Database;
    TCmTransaction Transaction;
};

} // namespace tests
