if(MDB_SANITIZE)
  add_compile_options(-fsanitize=${MDB_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${MDB_SANITIZE})
endif()
