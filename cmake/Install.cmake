# What `cmake --install` puts where a user runs it: zphost and the tools in
# bin/, libwinport (and its Qt backend) in lib/, the import modules with the
# outside libraries' stand-ins they load (libnilibddc.so, libmatlab.so) in
# IMPORT_MODULE_INSTALL_DIR. Each finds what it needs relative to itself
# (RUNPATH $ORIGIN...), so nothing needs an environment variable; `zphost
# register --all` registers every module of that folder. Included after every
# folder has defined its targets.
include(GNUInstallDirs)
file(RELATIVE_PATH module_to_lib ${CMAKE_INSTALL_PREFIX}/${IMPORT_MODULE_INSTALL_DIR}
     ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})

foreach(target winport winport_qt)
  if(TARGET ${target})
    install(TARGETS ${target} LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  endif()
endforeach()

if(TARGET zphost)
  set_target_properties(zphost PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS zphost RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The modules and the libraries they load beside them: libwinport one folder up,
# libmatlab.so (which Quenvo links) beside them; Orsand loads libnilibddc.so from its own folder.
foreach(target Pellor Dravo Quenvo Orsand Filmor Brevan Hestor Jorvel nilibddc matlab)
  if(TARGET ${target})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN;$ORIGIN/${module_to_lib}")
    install(TARGETS ${target} LIBRARY DESTINATION ${IMPORT_MODULE_INSTALL_DIR})
  endif()
endforeach()
