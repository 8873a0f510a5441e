// veltra-makedb [--if-absent] <schema.sql> <database>
// Makes an empty scene database from the schema script. It never touches an
// existing file: without --if-absent that is an error (exit 1); with it the
// file is kept and the tool succeeds, which is what the build step uses.
#include <cstdio>
#include <string>
#include <vector>

#include "scenes/scene_repository.h"
#include "scenes/scene_store_schema.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool ifAbsent = false;
  std::erase_if(args, [&](const std::string& arg) { return arg == "--if-absent" && (ifAbsent = true); });
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: veltra-makedb [--if-absent] <schema.sql> <database>\n");
    return 2;
  }
  const std::string& database = args[1];
  try {
    if (veltra::CreateSceneDatabase(args[0], database) == veltra::CreateResult::Created) {
      std::printf("veltra-makedb: created %s\n", database.c_str());
      return 0;
    }
    if (ifAbsent) {
      std::printf("veltra-makedb: %s exists, left as it is\n", database.c_str());
      return 0;
    }
    std::fprintf(stderr, "veltra-makedb: %s exists; refusing to touch it\n", database.c_str());
    return 1;
  } catch (const veltra::SceneStoreError& error) {
    std::fprintf(stderr, "veltra-makedb: %s\n", error.what());
    return 1;
  }
}
