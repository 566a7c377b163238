# The programs link tcmalloc (gperftools, Debian package libgoogle-perftools-dev) when it is
# installed: a row write makes dozens of small allocations, and glibc's malloc spends about a
# fifth of an insert's instructions on them. Sanitizer and fuzzing builds keep their own allocator.
option(MDB_TCMALLOC "Link tcmalloc into the programs when it is installed" ON)
set(MDB_TCMALLOC_LINK "")
if(MDB_TCMALLOC AND NOT MDB_SANITIZE AND NOT MDB_FUZZ)
  find_library(MDB_TCMALLOC_LIBRARY NAMES tcmalloc_minimal)
  if(MDB_TCMALLOC_LIBRARY)
    message(STATUS "Allocator: ${MDB_TCMALLOC_LIBRARY}")
    # Nothing calls it by name: keep it even where the linker drops unused libraries.
    set(MDB_TCMALLOC_LINK "-Wl,--push-state,--no-as-needed" "${MDB_TCMALLOC_LIBRARY}"
                          "-Wl,--pop-state")
  endif()
endif()
