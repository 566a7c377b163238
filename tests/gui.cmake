# Test binaries of the Qt layers; included by tests/CMakeLists.txt when MDB_GUI is on.

# tests/database: GoogleTest on real files through the data-access layer.
mdb_gtest(database_tests database mdb_database mdb_shared Qt6::Core)

# tests/ui: Qt Test binaries of the window layer (offscreen platform) go here.

# ---- tests/ui (window layer; kept by the ui developer) ----------------------------------------
# One Qt Test binary per tests/ui/*_test.cpp, run on the offscreen platform.
file(GLOB UI_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/ui/*_test.cpp)
add_library(mdb_ui_test_support STATIC ${CMAKE_CURRENT_SOURCE_DIR}/ui/ui_test_support.cpp)
target_include_directories(mdb_ui_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/ui)
target_link_libraries(mdb_ui_test_support PUBLIC mdb_ui Qt6::Test)
target_compile_definitions(mdb_ui_test_support PUBLIC MDB_SHARED_DIR="${MDB_SHARED_DIR}")
mdb_warnings(mdb_ui_test_support)
foreach(src ${UI_TEST_SOURCES})
  get_filename_component(name ${src} NAME_WE)
  add_executable(ui_${name} ${src})
  set_target_properties(ui_${name} PROPERTIES AUTOMOC ON)
  target_link_libraries(ui_${name} PRIVATE mdb_ui_test_support)
  mdb_warnings(ui_${name})
  add_test(NAME ui.${name} COMMAND ui_${name})
  # The windows of every test binary keep their recent-files list in MDB.txt beside the
  # executables, one shared folder: the binaries take turns.
  set_tests_properties(ui.${name} PROPERTIES TIMEOUT 600 RESOURCE_LOCK recent_files_mdb_txt
                       ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8")
endforeach()

# tests/tableops: the table operations on real files, without a window.
mdb_gtest(tableops_tests tableops mdb_cli_tableops mdb_tableops mdb_database mdb_shared Qt6::Core)

# These window tests check what the window wrote with the engine's checker and mdbtools.
foreach(name jet3_edit_test relationship_refusal_test)
  if(TARGET ui_${name})
    target_link_libraries(ui_${name} PRIVATE mdb_test_support)
  endif()
endforeach()
