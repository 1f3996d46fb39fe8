// The CAN settings file, shared by the database dialog and the CAN-log import:
// a profile file with one section "CAN%d" per CAN channel (0-99) whose keys
// "DB1", "DB2", ... name that channel's DBC files in list order.
#pragma once

#include <string>
#include <vector>

namespace pellor {

// The channel's DBC paths in section order: the text after the first '=' of
// each entry, where that text is not empty and names a readable file. Entries
// without '=' are passed over; nothing when the settings file cannot be read.
std::vector<std::string> ReadCanIniSection(int channel, const std::string& settingsPath);
// Writes the channel's section anew, so that paths removed from the list do
// not come back from an earlier save. False when the file cannot be written.
bool WriteCanIniSection(const std::vector<std::string>& paths, int channel, const std::string& settingsPath);

}  // namespace pellor
