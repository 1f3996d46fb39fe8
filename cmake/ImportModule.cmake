# add_import_module(<name> SOURCES <file>... [LIBS <target>...])
#
# Builds an import module: a shared library lib<name>.so with the COM server
# framework compiled in, every symbol hidden except the four Dll... entry
# points (also those of static libraries such as mdf linked in through LIBS),
# and no undefined symbol left for the loader to find. A test checks its
# exports (exports_<name>).
#
# A module's version resource and string table, where it has them, are one of
# its SOURCES (see platform/com/server/resources.h). Installed modules go to
# IMPORT_MODULE_INSTALL_DIR (cmake/Install.cmake).
include(GNUInstallDirs)
set(IMPORT_MODULE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/zephanor)
set(IMPORT_MODULE_EXPORTS ${CMAKE_SOURCE_DIR}/platform/com/server/exports.map)
set(IMPORT_MODULE_CHECK ${CMAKE_CURRENT_LIST_DIR}/CheckExports.cmake)

function(add_import_module name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "" "SOURCES;LIBS")
  if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_SOURCES)
    message(FATAL_ERROR "add_import_module(${name} SOURCES <file>... [LIBS <target>...])")
  endif()
  add_library(${name} SHARED ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden
                                           VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,comserver>" winport ${ARG_LIBS})
  target_link_options(${name} PRIVATE "LINKER:--version-script=${IMPORT_MODULE_EXPORTS}")
  # clang's sanitizer runtimes live in the program, so a fuzz build leaves their symbols open.
  if(NOT MDF_FUZZ)
    target_link_options(${name} PRIVATE "LINKER:--no-undefined")
  endif()
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${IMPORT_MODULE_EXPORTS})
  add_test(NAME exports_${name}
           COMMAND ${CMAKE_COMMAND} -DMODULE=$<TARGET_FILE:${name}> -DNM=${CMAKE_NM} -P ${IMPORT_MODULE_CHECK})
endfunction()
