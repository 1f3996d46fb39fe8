// The in-memory model of one CAN database read from a DBC text file: nodes,
// messages, their signals with layout and scaling, comments and value texts.
//
// What a frame decoder needs of a signal (CanSig):
//   - StartBit(): the bit of the least significant bit, counted from bit 0 of
//     data byte 0 upwards, for Intel signals and for Motorola signals that lie
//     within one byte (those carry no Motorola flag: within one byte the order
//     of bytes does not matter). For a Motorola signal that spans bytes
//     (IsMotorola()), StartBit() / 8 is the first byte of a window of
//     (Length() + 7) / 8 bytes, read from that byte with the byte order
//     reversed (byte StartBit()/8 is the most significant), and StartBit() % 8
//     is the shift of the least significant bit within that window.
//   - Length(): 1 to 64 bits.
//   - IsSigned(): two's complement of Length() bits; otherwise unsigned.
//   - IsFloat(): an IEEE 754 value (32 bits: float, 64 bits: double) in place
//     of an integer; a float flag on another length is the decoder's to reject.
//   - physical value = raw * Factor() + Offset().
//   - Multiplexing: IsMultiplexor() marks a signal whose raw value selects
//     the multiplexed signals of the same message; a signal with
//     IsMultiplexed() holds a value only in frames where its multiplexor is
//     present and its raw value is one the signal lists: the ranges of its
//     "SG_MUL_VAL_" lines (MuxRanges(), multiplexor MuxSwitch()), or without
//     them MuxValue() of the message's one multiplexor that is not itself
//     multiplexed. A signal may be both ("m<k>M"): multiplexors then cascade.
//     ResolveMultiplexing (multiplex.h) works out each signal's multiplexor.
//     Other signals hold a value in every frame.
// A message (CanMsg) matches a frame by Id(), which carries the extended-frame
// bit 0x80000000 as the DBC writes it (ids of 29 bits); Dlc() is the declared
// data length.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pellor/candb/owning_list.h"

namespace pellor {

// The tree control that a database fills: items are opaque handles, 0 is the
// invisible root. InsertItem appends a child under `parent`, after its last child.
class ITreeControl {
 public:
  using Item = uintptr_t;
  virtual ~ITreeControl() = default;
  virtual Item InsertItem(std::string_view text, Item parent) = 0;
};

class ITreeObj {
 public:
  virtual ~ITreeObj() = default;
  virtual ITreeControl::Item FillTree(ITreeControl& tree, ITreeControl::Item parent) const = 0;
};

enum CanObjKind : int32_t { kCanNode = 0, kCanMessage = 1, kCanSignal = 2 };

// Base of the database objects: kind, name and comment.
class CanObj {
 public:
  CanObj(CanObjKind kind, std::string name) : m_kind(kind), m_name(std::move(name)) {}
  virtual ~CanObj() = default;
  CanObj(const CanObj&) = delete;
  CanObj& operator=(const CanObj&) = delete;

  // The object's text for a list: the signal's name; no text (empty) for the others.
  virtual std::string_view ObjectText() const { return {}; }

  CanObjKind Kind() const { return m_kind; }
  const std::string& Name() const { return m_name; }
  const std::string& Comment() const { return m_comment; }
  void SetComment(std::string comment) { m_comment = std::move(comment); }

 private:
  CanObjKind m_kind;
  std::string m_name;
  std::string m_comment;
};

class CanMsg;

// A node (electronic control unit) of the bus and the messages it sends.
class CanNode : public CanObj {
 public:
  explicit CanNode(std::string name) : CanObj(kCanNode, std::move(name)) {}
  // The messages whose transmitter this node is; the database owns them.
  const OwningList<CanMsg>& Messages() const { return m_messages; }
  void AddMessage(CanMsg& message) { m_messages.AppendBorrowed(message); }

 private:
  OwningList<CanMsg> m_messages;
};

// One value text of a signal ("VAL_").
class CanVal {
 public:
  CanVal(int32_t value, std::string text) : m_value(value), m_text(std::move(text)) {}
  virtual ~CanVal() = default;
  int32_t Value() const { return m_value; }
  const std::string& Text() const { return m_text; }

 private:
  int32_t m_value;
  std::string m_text;
};

// Flag bits of a signal.
enum CanSigFlags : int32_t {
  kSigMultiplexor = 0x1,  // indicator "M" or "m<value>M"
  kSigMultiplexed = 0x2,  // indicator "m<value>" or "m<value>M"
  kSigMotorola = 0x4,     // byte order 0 (Motorola) over more than one byte
  kSigSigned = 0x8,       // "-"
  kSigFloat = 0x10,       // IEEE 754 value, from "SIG_VALTYPE_"
};

// Multiplexor values from lo to hi, both included ("SG_MUL_VAL_").
struct CanMuxRange {
  uint64_t lo = 0, hi = 0;
  bool operator==(const CanMuxRange&) const = default;
};

// One signal of a message; see the top of this file for the meaning of its layout.
class CanSig : public CanObj {
 public:
  explicit CanSig(std::string name) : CanObj(kCanSignal, std::move(name)) {}
  std::string_view ObjectText() const override { return Name(); }

  int32_t Flags() const { return m_flags; }
  bool IsMultiplexor() const { return (m_flags & kSigMultiplexor) != 0; }
  bool IsMultiplexed() const { return (m_flags & kSigMultiplexed) != 0; }
  bool IsMotorola() const { return (m_flags & kSigMotorola) != 0; }
  bool IsSigned() const { return (m_flags & kSigSigned) != 0; }
  bool IsFloat() const { return (m_flags & kSigFloat) != 0; }
  int32_t MuxValue() const { return m_muxValue; }
  double Factor() const { return m_factor; }
  double Offset() const { return m_offset; }
  double Min() const { return m_min; }
  double Max() const { return m_max; }
  int32_t StartBit() const { return m_startBit; }
  int32_t Length() const { return m_length; }
  const std::string& Unit() const { return m_unit; }
  // The receiving nodes that the database lists; the database owns them.
  const OwningList<CanNode>& Receivers() const { return m_receivers; }
  const OwningList<CanVal>& Values() const { return m_values; }
  // The multiplexor that the signal's "SG_MUL_VAL_" lines name (empty without
  // such lines) and the values they give, in the order written.
  const std::string& MuxSwitch() const { return m_muxSwitch; }
  const std::vector<CanMuxRange>& MuxRanges() const { return m_muxRanges; }
  // Whether those lines name more than one multiplexor.
  bool HasMuxConflict() const { return m_muxConflict; }

  void SetFlags(int32_t flags) { m_flags = flags; }
  void SetMuxValue(int32_t value) { m_muxValue = value; }
  void SetScaling(double factor, double offset) { m_factor = factor; m_offset = offset; }
  void SetRange(double min, double max) { m_min = min; m_max = max; }
  void SetLayout(int32_t startBit, int32_t length) { m_startBit = startBit; m_length = length; }
  void SetUnit(std::string unit) { m_unit = std::move(unit); }
  void AddReceiver(CanNode& node) { m_receivers.AppendBorrowed(node); }
  void AddValue(std::unique_ptr<CanVal> value) { m_values.Append(std::move(value)); }
  // One "SG_MUL_VAL_" line: its multiplexor and value ranges.
  void AddMuxRanges(std::string_view multiplexor, const std::vector<CanMuxRange>& ranges);

 private:
  int32_t m_flags = 0;
  int32_t m_muxValue = 0;
  double m_factor = 1.0;
  double m_offset = 0.0;
  double m_min = 0.0;
  double m_max = 0.0;
  int32_t m_startBit = 0;
  int32_t m_length = 0;
  std::string m_unit;
  OwningList<CanNode> m_receivers;
  OwningList<CanVal> m_values;
  std::string m_muxSwitch;
  std::vector<CanMuxRange> m_muxRanges;
  bool m_muxConflict = false;
};

// One message (frame layout) and its signals, ordered by start bit.
class CanMsg : public CanObj {
 public:
  CanMsg(std::string name, int32_t id, int32_t dlc)
      : CanObj(kCanMessage, std::move(name)), m_id(id), m_dlc(dlc) {}

  const std::string& Transmitter() const { return m_transmitter; }
  int32_t Id() const { return m_id; }
  int32_t Dlc() const { return m_dlc; }
  const OwningList<CanSig>& Signals() const { return m_signals; }
  // The transmitting node when the database lists it, else null.
  const CanNode* TransmitterNode() const { return m_transmitterNode; }
  // A signal the reader left out: its multiplex indicator is none it knows.
  struct LeftOutSignal {
    std::string name;
    std::string indicator;
  };
  const std::vector<LeftOutSignal>& LeftOutSignals() const { return m_leftOut; }
  void AddLeftOutSignal(std::string name, std::string indicator) {
    m_leftOut.push_back({std::move(name), std::move(indicator)});
  }

  // Inserts a signal before the first signal with a greater start bit.
  CanSig& AddSignal(std::unique_ptr<CanSig> signal);
  // Appends a signal; SortSignals then restores the order by start bit.
  CanSig& AppendSignal(std::unique_ptr<CanSig> signal);
  // Orders the signals by start bit; equal start bits keep their order.
  void SortSignals();
  // First signal of that name, ignoring case.
  CanSig* FindSignal(std::string_view name);
  const CanSig* FindSignal(std::string_view name) const;

  void SetTransmitter(std::string name, CanNode* node) {
    m_transmitter = std::move(name);
    m_transmitterNode = node;
  }

 private:
  std::string m_transmitter;
  int32_t m_id;
  int32_t m_dlc;
  OwningList<CanSig> m_signals;
  CanNode* m_transmitterNode = nullptr;
  std::vector<LeftOutSignal> m_leftOut;
  // Lower-case name -> first signal of that name, built on the first lookup
  // after the signal list changed.
  mutable std::unordered_map<std::string, CanSig*> m_signalsByName;
  mutable bool m_signalIndexValid = false;
};

// Where and why the last read of a database failed.
enum class DbcFailure { kNone, kCannotOpen, kNotRegularFile, kTooLarge, kSyntax };
struct DbcError {
  DbcFailure failure = DbcFailure::kNone;
  int line = 0;  // 1-based line of the DBC text; 0 when the file could not be read
  std::string reason;
};

// One CAN database.
class CDbBase : public ITreeObj {
 public:
  // Larger DBC files are refused; the biggest real databases take a few MiB.
  static constexpr int64_t kMaxFileSize = int64_t{64} << 20;

  CDbBase() = default;
  CDbBase(const CDbBase&) = delete;
  CDbBase& operator=(const CDbBase&) = delete;

  // Reads the DBC file at `path` (the stored file name when empty). A path
  // equal to the one loaded last returns at once. Returns false on any error;
  // what the database holds then is what was read up to the error, and
  // LastError() tells where it stopped.
  bool ReadDbcFile(const std::string& path = std::string());

  // For each message with signals, an item with its name under `parent` and one
  // item per signal under that; returns the last message item (0 when none).
  ITreeControl::Item FillTree(ITreeControl& tree, ITreeControl::Item parent) const override;

  // Node by name, ignoring case.
  CanNode* FindNode(std::string_view name);
  const CanNode* FindNode(std::string_view name) const;
  // First message (in list order) with that id.
  CanMsg* FindMessageById(int32_t id);
  const CanMsg* FindMessageById(int32_t id) const;
  // The signal of that name (ignoring case) in the first message with that id.
  CanSig* FindSignalById(int32_t id, std::string_view name);
  const CanSig* FindSignalById(int32_t id, std::string_view name) const;
  static CanSig* FindSignal(CanMsg& message, std::string_view name) { return message.FindSignal(name); }

  CanNode& AddNode(std::unique_ptr<CanNode> node);
  // Inserts before the first message whose name compares greater, byte by byte.
  CanMsg& AddMessageSorted(std::unique_ptr<CanMsg> message);
  static void AddValueText(CanSig& signal, int32_t value, std::string text) {
    signal.AddValue(std::make_unique<CanVal>(value, std::move(text)));
  }
  // Stores the transmitter's name and node, and lists the message under the node.
  static void SetTransmitter(CanMsg& message, std::string name, CanNode* node);

  const std::string& Comment() const { return m_comment; }
  const OwningList<CanNode>& Nodes() const { return m_nodes; }
  const std::string& FileName() const { return m_fileName; }
  const std::string& LoadedPath() const { return m_loadedPath; }
  const OwningList<CanMsg>& Messages() const { return m_messages; }
  int32_t Channel() const { return m_channel; }
  void SetChannel(int32_t channel) { m_channel = channel; }
  const DbcError& LastError() const { return m_lastError; }

 private:
  friend class DbcParser;

  // Empties the database before a new file's content is read into it.
  void Clear();
  // Appends a message during a read; SortMessages restores the order by name.
  CanMsg& AppendMessage(std::unique_ptr<CanMsg> message);
  void SortMessages();
  void IndexMessageId(CanMsg& message);

  std::string m_comment;
  OwningList<CanNode> m_nodes;
  std::string m_fileName;
  std::string m_loadedPath;
  OwningList<CanMsg> m_messages;
  int32_t m_channel = 0;
  DbcError m_lastError;
  // Lower-case name -> first node of that name; id -> first message (in the
  // order by name) with that id.
  std::unordered_map<std::string, CanNode*> m_nodesByName;
  std::unordered_map<int32_t, CanMsg*> m_messagesById;
};

}  // namespace pellor
