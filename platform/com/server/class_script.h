// The registration script of one creatable class, as a string literal for its
// ClassEntry: the ProgIDs "<module>.<class>.1" and "<module>.<class>" (the
// version-independent one with CurVer), and the CLSID key with the in-process
// server (%MODULE%, threading model "Apartment"), "Programmable" and the
// type library. All arguments are string literals:
//
//   #define PROBE_LIBID "{...}"
//   #define CLSID_PROBE "{...}"
//   Class<CProbe>("Probe", winport::GuidOf(CLSID_PROBE),
//                 COMSERVER_CLASS_SCRIPT("ProbeModule", "Probe", CLSID_PROBE, PROBE_LIBID))
#pragma once

#define COMSERVER_CLASS_SCRIPT(MODULE, CLASS, CLSID, LIBID)      \
  "HKCR\n"                                                       \
  "{\n"                                                          \
  "  " MODULE "." CLASS ".1 = s '" CLASS " Class'\n"             \
  "  {\n"                                                        \
  "    CLSID = s '" CLSID "'\n"                                  \
  "  }\n"                                                        \
  "  " MODULE "." CLASS " = s '" CLASS " Class'\n"               \
  "  {\n"                                                        \
  "    CLSID = s '" CLSID "'\n"                                  \
  "    CurVer = s '" MODULE "." CLASS ".1'\n"                    \
  "  }\n"                                                        \
  "  NoRemove CLSID\n"                                           \
  "  {\n"                                                        \
  "    ForceRemove " CLSID " = s '" CLASS " Class'\n"            \
  "    {\n"                                                      \
  "      ProgID = s '" MODULE "." CLASS ".1'\n"                  \
  "      VersionIndependentProgID = s '" MODULE "." CLASS "'\n"  \
  "      ForceRemove 'Programmable'\n"                           \
  "      InprocServer32 = s '%MODULE%'\n"                        \
  "      {\n"                                                    \
  "        val ThreadingModel = s 'Apartment'\n"                 \
  "      }\n"                                                    \
  "      'TypeLib' = s '" LIBID "'\n"                            \
  "    }\n"                                                      \
  "  }\n"                                                        \
  "}\n"
