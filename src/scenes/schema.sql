-- The console's scene table: one row per scene that a module has confirmed.
-- "ID" is the row's key; the grid lists the rows in its order.
CREATE TABLE "Scenes Records" (
  "Scene No" INTEGER,
  "Module Addr" INTEGER,
  "CH1" TEXT,
  "CH2" TEXT,
  "CH3" TEXT,
  "CH4" TEXT,
  "CH5" TEXT,
  "CH6" TEXT,
  "CH7" TEXT,
  "CH8" TEXT,
  "ID" INTEGER PRIMARY KEY
);

-- Finds a module's records, and a (module, scene) pair, without a full scan.
CREATE INDEX "Scenes Records by module and scene"
  ON "Scenes Records" ("Module Addr", "Scene No");
