#include "pellor/candb/candb.h"

#include <algorithm>
#include <utility>

namespace pellor {

namespace {

// Names in a DBC file are ASCII identifiers, so case folds by ASCII alone.
std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool StartBitLess(const CanSig& a, const CanSig& b) { return a.StartBit() < b.StartBit(); }
bool NameLess(const CanMsg& a, const CanMsg& b) { return a.Name() < b.Name(); }

}  // namespace

// ---- CanSig

void CanSig::AddMuxRanges(std::string_view multiplexor, const std::vector<CanMuxRange>& ranges) {
  if (m_muxSwitch.empty())
    m_muxSwitch = multiplexor;
  else if (AsciiLower(m_muxSwitch) != AsciiLower(multiplexor))
    m_muxConflict = true;
  m_muxRanges.insert(m_muxRanges.end(), ranges.begin(), ranges.end());
}

// ---- CanMsg

CanSig& CanMsg::AddSignal(std::unique_ptr<CanSig> signal) {
  const size_t at = m_signals.UpperBound(*signal, StartBitLess);
  m_signalIndexValid = false;
  return m_signals.InsertBefore(at, std::move(signal));
}

CanSig& CanMsg::AppendSignal(std::unique_ptr<CanSig> signal) {
  m_signalIndexValid = false;
  return m_signals.Append(std::move(signal));
}

void CanMsg::SortSignals() {
  m_signals.StableSort(StartBitLess);
  m_signalIndexValid = false;
}

const CanSig* CanMsg::FindSignal(std::string_view name) const {
  if (!m_signalIndexValid) {
    m_signalsByName.clear();
    for (auto it = m_signals.begin(); it != m_signals.end(); ++it)
      m_signalsByName.try_emplace(AsciiLower(it->Name()), const_cast<CanSig*>(&*it));
    m_signalIndexValid = true;
  }
  const auto found = m_signalsByName.find(AsciiLower(name));
  return found == m_signalsByName.end() ? nullptr : found->second;
}

CanSig* CanMsg::FindSignal(std::string_view name) {
  return const_cast<CanSig*>(std::as_const(*this).FindSignal(name));
}

// ---- CDbBase

ITreeControl::Item CDbBase::FillTree(ITreeControl& tree, ITreeControl::Item parent) const {
  ITreeControl::Item last = 0;
  for (const CanMsg& message : m_messages) {
    if (message.Signals().Empty()) continue;
    last = tree.InsertItem(message.Name(), parent);
    for (const CanSig& signal : message.Signals()) tree.InsertItem(signal.Name(), last);
  }
  return last;
}

const CanNode* CDbBase::FindNode(std::string_view name) const {
  const auto found = m_nodesByName.find(AsciiLower(name));
  return found == m_nodesByName.end() ? nullptr : found->second;
}

CanNode* CDbBase::FindNode(std::string_view name) {
  return const_cast<CanNode*>(std::as_const(*this).FindNode(name));
}

const CanMsg* CDbBase::FindMessageById(int32_t id) const {
  const auto found = m_messagesById.find(id);
  return found == m_messagesById.end() ? nullptr : found->second;
}

CanMsg* CDbBase::FindMessageById(int32_t id) {
  return const_cast<CanMsg*>(std::as_const(*this).FindMessageById(id));
}

const CanSig* CDbBase::FindSignalById(int32_t id, std::string_view name) const {
  const CanMsg* message = FindMessageById(id);
  return message ? message->FindSignal(name) : nullptr;
}

CanSig* CDbBase::FindSignalById(int32_t id, std::string_view name) {
  return const_cast<CanSig*>(std::as_const(*this).FindSignalById(id, name));
}

CanNode& CDbBase::AddNode(std::unique_ptr<CanNode> node) {
  CanNode& added = m_nodes.Append(std::move(node));
  m_nodesByName.try_emplace(AsciiLower(added.Name()), &added);
  return added;
}

// The message that FindMessageById gives is the first in the order by name; a
// message of the same id goes before it only when its name compares less,
// since one of an equal name is placed after it.
void CDbBase::IndexMessageId(CanMsg& message) {
  auto [it, added] = m_messagesById.try_emplace(message.Id(), &message);
  if (!added && message.Name() < it->second->Name()) it->second = &message;
}

CanMsg& CDbBase::AddMessageSorted(std::unique_ptr<CanMsg> message) {
  const size_t at = m_messages.UpperBound(*message, NameLess);
  CanMsg& added = m_messages.InsertBefore(at, std::move(message));
  IndexMessageId(added);
  return added;
}

CanMsg& CDbBase::AppendMessage(std::unique_ptr<CanMsg> message) {
  CanMsg& added = m_messages.Append(std::move(message));
  IndexMessageId(added);
  return added;
}

// A stable sort gives the same order as inserting each message in turn with
// AddMessageSorted, without moving the list once per message.
void CDbBase::SortMessages() { m_messages.StableSort(NameLess); }

void CDbBase::SetTransmitter(CanMsg& message, std::string name, CanNode* node) {
  message.SetTransmitter(std::move(name), node);
  if (node) node->AddMessage(message);
}

void CDbBase::Clear() {
  m_nodesByName.clear();
  m_messagesById.clear();
  m_messages.Clear();
  m_nodes.Clear();
  m_comment.clear();
}

}  // namespace pellor
