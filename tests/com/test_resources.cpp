// ComTestA's version resource and string table (ComTestB has none).
#include "platform/com/server/resources.h"

COMSERVER_RESOURCES(
    COMSERVER_FILE_VERSION(1, 2, 3, 65535)
    COMSERVER_PRODUCT_VERSION(7, 0, 0, 1)
    COMSERVER_VERSION_LANGUAGE(0x0409, 1252)
    COMSERVER_VERSION_STRING("FileDescription", "ComTestA Module")
    COMSERVER_VERSION_STRING("Comments", "Prüfmodul für Tests")
    COMSERVER_VERSION_STRING("OLESelfRegister", "")
    COMSERVER_STRING(0, "null")
    COMSERVER_STRING(1, "Eins")
    COMSERVER_STRING(0xFFFF, "Größte Nummer"));
