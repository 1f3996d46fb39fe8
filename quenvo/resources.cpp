// Quenvo's string table: the texts of its MAT-file errors.
#include "platform/com/server/resources.h"

COMSERVER_RESOURCES(
    COMSERVER_STRING(201, "Cannot open MatLab file")
    COMSERVER_STRING(202, "The type of the object is unexpected")
    COMSERVER_STRING(203, "Not enough memory to open MatLab file"));
