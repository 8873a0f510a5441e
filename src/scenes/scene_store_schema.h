#pragma once
// Making a fresh scene database from the schema script (schema.sql), through
// SQLite's own interface (no Qt).
#include <string>
#include <vector>

namespace veltra {

// The statements of an SQL script, split at ';' outside quotes and with the
// comments ("-- ..." and "/* ... */") left out.
std::vector<std::string> SplitSqlStatements(const std::string& script);

enum class CreateResult { Created, AlreadyThere };

// Creates the database file `dbPath` by running the schema script. An
// existing file (or anything else at that path) is never opened or changed:
// the result is then AlreadyThere. The file is built under a temporary name
// and linked into place in one step, so a half-made database never appears
// under `dbPath`. Throws SceneStoreError on failure, leaving nothing behind.
CreateResult CreateSceneDatabase(const std::string& schemaPath, const std::string& dbPath);

}  // namespace veltra
