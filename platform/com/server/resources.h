// A module's version resource and string table, compiled into its shared
// library, where GetFileVersionInfoA, VerQueryValueA and LoadStringA
// (platform/win32/resource.h) read them. A module declares them once, in a
// source file of its own that add_import_module compiles into the module:
//
//   #include "platform/com/server/resources.h"
//   COMSERVER_RESOURCES(
//       COMSERVER_FILE_VERSION(4, 0, 120, 0)
//       COMSERVER_PRODUCT_VERSION(4, 0, 120, 0)
//       COMSERVER_VERSION_LANGUAGE(0x0407, 1252)
//       COMSERVER_VERSION_STRING("FileVersion", "4.0.120.0")
//       COMSERVER_STRING(100, "Probe"));
//
// Each entry is a string literal, so they join into one block; texts are
// UTF-8 in the source. A module that declares nothing has no version
// information and no string table.
#pragma once

#include "platform/win32/resource.h"

// Every field ends its own literal with its NUL, so that a field that starts
// with a digit is never read as part of an escape.
#define COMSERVER_FILE_VERSION(major, minor, build, revision) "F\0" #major "." #minor "." #build "." #revision "\0"
#define COMSERVER_PRODUCT_VERSION(major, minor, build, revision) "P\0" #major "." #minor "." #build "." #revision "\0"
#define COMSERVER_VERSION_LANGUAGE(language, codePage) "L\0" #language "\0" #codePage "\0"
#define COMSERVER_VERSION_STRING(name, value) "V\0" name "\0" value "\0"
#define COMSERVER_STRING(id, text) "S\0" #id "\0" text "\0"

#define COMSERVER_RESOURCES(entries)                                                            \
  namespace {                                                                                   \
  [[gnu::section(WINPORT_RESOURCE_SECTION), gnu::used]] const char kComserverResources[] =       \
      WINPORT_RESOURCE_MAGIC "\0" entries;                                                      \
  }                                                                                             \
  static_assert(true)
