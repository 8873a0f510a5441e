#include "scenes/scene_store_schema.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

#include "scenes/scene_repository.h"

namespace veltra {
namespace {

bool PathTaken(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;  // dangling links count too
}

std::string AbsoluteName(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  char here[PATH_MAX];
  return ::getcwd(here, sizeof here) ? std::string(here) + '/' + path : path;
}

// Runs the statements into a new file at `path`, all in one transaction.
void BuildDatabase(const std::vector<std::string>& statements, const std::string& path) {
  sqlite3* db = nullptr;
  std::string error;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    error = db ? sqlite3_errmsg(db) : "out of memory";
  } else {
    bool ok = sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    for (const std::string& statement : statements) {
      if (!ok) break;
      ok = sqlite3_exec(db, statement.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    if (ok) ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok) error = sqlite3_errmsg(db);
  }
  sqlite3_close_v2(db);
  if (!error.empty()) throw SceneStoreError(error);
}

}  // namespace

std::vector<std::string> SplitSqlStatements(const std::string& script) {
  std::vector<std::string> statements;
  std::string current;
  const auto keep = [&] {
    const auto first = current.find_first_not_of(" \t\r\n");
    if (first != std::string::npos) {
      const auto last = current.find_last_not_of(" \t\r\n");
      statements.push_back(current.substr(first, last - first + 1));
    }
    current.clear();
  };
  const std::size_t n = script.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char c = script[i];
    const char next = i + 1 < n ? script[i + 1] : '\0';
    if (c == '-' && next == '-') {
      while (i < n && script[i] != '\n') ++i;
      current += '\n';
    } else if (c == '/' && next == '*') {
      const std::size_t end = script.find("*/", i + 2);
      i = end == std::string::npos ? n : end + 1;
      current += ' ';
    } else if (c == '\'' || c == '"' || c == '`' || c == '[') {
      // Quoted text or identifier, copied whole; a doubled quote stays inside.
      const char close = c == '[' ? ']' : c;
      current += c;
      for (++i; i < n; ++i) {
        current += script[i];
        if (script[i] == close) {
          if (close != ']' && i + 1 < n && script[i + 1] == close) {
            current += script[++i];
            continue;
          }
          break;
        }
      }
    } else if (c == ';') {
      keep();
    } else {
      current += c;
    }
  }
  keep();
  return statements;
}

CreateResult CreateSceneDatabase(const std::string& schemaPath, const std::string& dbPath) {
  if (PathTaken(dbPath)) return CreateResult::AlreadyThere;

  std::ifstream schema(schemaPath, std::ios::binary);
  if (!schema) throw SceneStoreError("Cannot read " + schemaPath + ": " + std::strerror(errno));
  std::ostringstream text;
  text << schema.rdbuf();
  const std::vector<std::string> statements = SplitSqlStatements(text.str());
  if (statements.empty()) throw SceneStoreError("No statements in " + schemaPath);

  const std::string temporary = AbsoluteName(dbPath) + ".new-" + std::to_string(::getpid());
  ::unlink(temporary.c_str());  // left over from a run that died
  try {
    BuildDatabase(statements, temporary);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // link() fails rather than replace a file that appeared in the meantime.
  const int linked = ::link(temporary.c_str(), dbPath.c_str());
  const int linkError = errno;
  ::unlink(temporary.c_str());
  if (linked != 0) {
    if (linkError == EEXIST) return CreateResult::AlreadyThere;
    throw SceneStoreError("Cannot create " + dbPath + ": " + std::strerror(linkError));
  }
  return CreateResult::Created;
}

}  // namespace veltra
