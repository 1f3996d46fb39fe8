// Pellor's version resource and string table.
#include "platform/com/server/resources.h"

COMSERVER_RESOURCES(
    COMSERVER_FILE_VERSION(4, 0, 120, 0)
    COMSERVER_PRODUCT_VERSION(4, 0, 120, 0)
    COMSERVER_VERSION_LANGUAGE(0x0407, 1252)
    COMSERVER_VERSION_STRING("Comments", "Zephanor Importfilter für MDF- und CAN-Log-Dateien")
    COMSERVER_VERSION_STRING("FileDescription", "Pellor Module")
    COMSERVER_VERSION_STRING("FileVersion", "4.0.120.0")
    COMSERVER_VERSION_STRING("InternalName", "Pellor")
    COMSERVER_VERSION_STRING("OLESelfRegister", "")
    COMSERVER_VERSION_STRING("OriginalFilename", "Pellor.DLL")
    COMSERVER_VERSION_STRING("ProductName", "Pellor Module")
    COMSERVER_VERSION_STRING("ProductVersion", "4.0.120.0")
    COMSERVER_STRING(100, "Pellor"));
