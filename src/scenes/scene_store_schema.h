#pragma once
// Making a fresh scene database from the schema script (schema.sql).
#include <QString>
#include <QStringList>

namespace veltra {

// The statements of an SQL script, split at ';' outside quotes and with the
// comments ("-- ..." and "/* ... */") left out.
QStringList SplitSqlStatements(const QString& script);

enum class CreateResult { Created, AlreadyThere };

// Creates the database file `dbPath` by running the schema script. An
// existing file (or anything else at that path) is never opened or changed:
// the result is then AlreadyThere. The file is built under a temporary name
// and linked into place in one step, so a half-made database never appears
// under `dbPath`. Throws SceneStoreError on failure, leaving nothing behind.
CreateResult CreateSceneDatabase(const QString& schemaPath, const QString& dbPath);

}  // namespace veltra
