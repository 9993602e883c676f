# Sanitizers apply to everything we build, so the core, the tools and the tests agree.
if(VARNO_SANITIZE)
  list(JOIN VARNO_SANITIZE "," _varno_san)
  add_compile_options(-fsanitize=${_varno_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_varno_san})
endif()
