#include "mdf/messages.h"
namespace mdf {
void ShowMessage(const std::string&, MessageKind) {}
}
