# Test binaries of the Qt layers; included by tests/CMakeLists.txt when MDB_GUI is on.

# tests/database: GoogleTest on real files through the data-access layer.
mdb_gtest(database_tests database mdb_database mdb_shared Qt6::Core)

# tests/ui: Qt Test binaries of the window layer (offscreen platform) go here.
