#include "scenes/scene_store_schema.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "scenes/scene_store.h"

namespace veltra {
namespace {

[[noreturn]] void Throw(const QString& message) {
  throw SceneStoreError(message.toStdString());
}

bool PathTaken(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0;  // dangling links count too
}

// Runs the script into a new file at `path`.
void BuildDatabase(const QStringList& statements, const QString& path) {
  static std::atomic<int> counter{0};
  const QString name = QStringLiteral("veltra_scene_schema_%1").arg(++counter);
  QString error;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    if (!db.isValid()) {
      error = QStringLiteral("The SQLite driver of Qt SQL is missing");
    } else if (!db.open()) {
      error = db.lastError().text();
    } else {
      QSqlQuery query(db);
      bool ok = query.exec(QStringLiteral("BEGIN"));
      for (const QString& statement : statements) {
        if (!ok) break;
        ok = query.exec(statement);
      }
      if (ok) ok = query.exec(QStringLiteral("COMMIT"));
      if (!ok) error = query.lastError().text();
      query.finish();
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  if (!error.isEmpty()) Throw(error);
}

}  // namespace

QStringList SplitSqlStatements(const QString& script) {
  QStringList statements;
  QString current;
  const qsizetype n = script.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = script[i];
    const QChar next = i + 1 < n ? script[i + 1] : QChar();
    if (c == QLatin1Char('-') && next == QLatin1Char('-')) {
      while (i < n && script[i] != QLatin1Char('\n')) ++i;
      current += QLatin1Char('\n');
    } else if (c == QLatin1Char('/') && next == QLatin1Char('*')) {
      const qsizetype end = script.indexOf(QStringLiteral("*/"), i + 2);
      i = end < 0 ? n : end + 1;
      current += QLatin1Char(' ');
    } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') ||
               c == QLatin1Char('[')) {
      // Quoted text or identifier, copied whole; a doubled quote stays inside.
      const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
      current += c;
      for (++i; i < n; ++i) {
        current += script[i];
        if (script[i] == close) {
          if (close != QLatin1Char(']') && i + 1 < n && script[i + 1] == close) {
            current += script[++i];
            continue;
          }
          break;
        }
      }
    } else if (c == QLatin1Char(';')) {
      if (!current.trimmed().isEmpty()) statements << current.trimmed();
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.trimmed().isEmpty()) statements << current.trimmed();
  return statements;
}

CreateResult CreateSceneDatabase(const QString& schemaPath, const QString& dbPath) {
  if (PathTaken(dbPath)) return CreateResult::AlreadyThere;

  QFile schema(schemaPath);
  if (!schema.open(QIODevice::ReadOnly | QIODevice::Text)) {
    Throw(QStringLiteral("Cannot read %1: %2").arg(schemaPath, schema.errorString()));
  }
  const QStringList statements = SplitSqlStatements(QString::fromUtf8(schema.readAll()));
  if (statements.isEmpty()) Throw(QStringLiteral("No statements in %1").arg(schemaPath));

  const QString temporary =
      QStringLiteral("%1.new-%2").arg(QFileInfo(dbPath).absoluteFilePath()).arg(::getpid());
  const QByteArray temporaryName = QFile::encodeName(temporary);
  ::unlink(temporaryName.constData());  // left over from a run that died
  try {
    BuildDatabase(statements, temporary);
  } catch (...) {
    ::unlink(temporaryName.constData());
    throw;
  }
  // link() fails rather than replace a file that appeared in the meantime.
  const int linked = ::link(temporaryName.constData(), QFile::encodeName(dbPath).constData());
  const int linkError = errno;
  ::unlink(temporaryName.constData());
  if (linked != 0) {
    if (linkError == EEXIST) return CreateResult::AlreadyThere;
    Throw(QStringLiteral("Cannot create %1: %2").arg(dbPath, QString::fromLocal8Bit(std::strerror(linkError))));
  }
  return CreateResult::Created;
}

}  // namespace veltra
