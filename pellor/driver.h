// The MDF import driver: what ImportFile runs for an MDF file.
//
// ImportMDF opens the file with the file model, turns its text block and
// header into comments and then takes one of three roads:
//  - composed: a file of the KESTRAVO writer whose import asks for composed
//    data (MDF_COMPOSE_DATA) gets its signals from the file model's data
//    composition, served from memory;
//  - CAN log: a file that holds raw CAN frames becomes CAN signals (canlog.h);
//  - normal: group by group under the progress window, the data-group
//    loader settles each group's time axis and its channels' ranges, and one
//    signal record per channel is laid out in the flat data space; afterwards
//    one-value signals become scalars, the time base is reset as asked,
//    warnings are reported and the program block's scalars are added.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mdf {
class CCEBlock;
class CDGBlock;
}  // namespace mdf

namespace pellor {

class FileImport;

// Texts of the chosen name and the display name are kept to this many characters.
inline constexpr size_t kMaxChosenName = 253;

// Whether the data group (the file's first) is a CAN-frame log: the file's
// only data group, with one channel group of records whose first 15 channels
// are, in order, type, can, id, dir, rtr, dlc, msg[0] .. msg[7] and msgTime.
bool IsCanLogFile(const mdf::CDGBlock* dg);

// Indices in parentheses become brackets ('x(3)' -> 'x[3]'); a parenthesis
// after a blank ends the name, the blanks before it cut
// ('Drehzahl (1/min)' -> 'Drehzahl').
void BracketIndices(std::string& name);

// The source text of a channel extension by its type (empty for none).
std::string ExtensionSourceText(const mdf::CCEBlock& ce);

// The reader version a "DATACONV" comment value asks for: characters 2 to 6
// read as two numbers of at most two digits around a '.', as major x 256 +
// minor; none when they do not read so.
std::optional<uint16_t> ParseDataConv(std::string_view value);

// The comments of the file's text block, from slot 1 on.
void ParseTextBlock(FileImport& import);
// Six comments from the header: author, organisation, project, subject, date, time.
void HeaderToComments(FileImport& import);
// The composed road; 1, or 0 when a record cannot be had.
int ImportComposed(FileImport& import, const std::string& user);
// Scalars from the special-job data of the program block.
void ReadPrScalars(FileImport& import);

}  // namespace pellor
