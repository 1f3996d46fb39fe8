// What the parts of the MDF import driver share: the normal road, group by
// group, and the passes over the finished signal list.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>

#include "mdf/mdf.h"
#include "pellor/loader.h"
#include "pellor/progress.h"
#include "pellor/records.h"

namespace winport {
class File;
}

namespace pellor {

class FileImport;

// The time axis of a loaded group, as its time channel gives it.
struct GroupAxis {
  double xMin = 0, xMax = 0, xFactor = 0, xOffset = 0;
  double yMin = 0, yMax = 0;    // the time signal's own range
  double minD = 0, maxD = 0;    // its smallest and largest step
  std::string unit;
};

// A channel's record while it is made, and what the later steps of its making need.
struct NewRecord {
  std::unique_ptr<SignalRecord> record;
  mdf::CCNBlock* channel = nullptr;
  std::string chosenName;     // by the name mode, with the extension's source text
  double defaultNoValue = 0;  // of the host type
};

// The normal road: the groups of the file loaded one by one under the
// progress window, one signal record per channel.
class NormalImport {
 public:
  NormalImport(FileImport& import, const std::string& user, winport::File& stream);
  ~NormalImport();
  NormalImport(const NormalImport&) = delete;
  NormalImport& operator=(const NormalImport&) = delete;
  // The loader, whose settings are this import's options.
  DataGroupLoader& Loader() { return m_loader; }
  // 1 when every marked group was loaded, 0 when the user aborted.
  int Run();

 private:
  // The load marks, and the size of the largest group.
  void SelectGroups();
  bool IsLoadMarked(const mdf::CCGBlock* cg) const { return m_marked.count(cg) != 0; }
  // One channel group: its time signal, then its other channels. False when the user aborted.
  bool LoadGroup(mdf::CDGBlock& dg, mdf::CCGBlock& cg);
  // The first steps of a channel's record: null when the channel is left out.
  NewRecord BeginRecord(mdf::CCNBlock& cn, mdf::CDGBlock& dg, mdf::CCGBlock& cg, bool isTime);
  // The time signal: the loader settles the group, a faulty time channel is repaired or
  // replaced by a sampling period.
  void SettleTime(NewRecord& time, mdf::CDGBlock& dg, mdf::CCGBlock& cg);
  // A group without a time signal: ranges only, and a time axis of the sampling period.
  void SettleWithoutTime(mdf::CDGBlock& dg, mdf::CCGBlock& cg, const mdf::CCNBlock* leftOut);
  // The data signal's time signal, or the group's fixed sampling period.
  void LinkTime(SignalRecord& r);
  // The rest of a record's making, up to its place in the data space.
  void FinishRecord(NewRecord& n, mdf::CDGBlock& dg, mdf::CCGBlock& cg);
  void SetRange(NewRecord& n, mdf::CDGBlock& dg);
  void ApplyConversion(NewRecord& n);
  // Appends the record; false when the user aborted meanwhile.
  bool Append(NewRecord& n);

  FileImport& m_import;
  const std::string& m_user;
  mdf::CMdf& m_mdf;
  DataGroupLoader m_loader;
  ProgressRecord m_progress;
  std::set<const mdf::CCGBlock*> m_marked;
  int32_t m_group = 0;         // the loaded channel groups, from 1
  bool m_readThisGroup = false;  // the loader read the current group's records
  // The current group.
  SignalRecord* m_time = nullptr;
  mdf::CCNBlock* m_timeChannel = nullptr;
  GroupAxis m_axis;
  bool m_fixedPeriod = false;  // its signals are equidistant by a sampling period (STyp 3)
};

// The passes over the signal list once every group is loaded, the warnings
// reported, the "MDF2" order and the program block's scalars.
void FinishSignalList(FileImport& import, const std::string& user);

// The physical NoValue of a channel's own invalid value: 1e308 for the
// "1.#QNAN" patterns.
double OwnNoValue(const mdf::CCNBlock& cn);

// "Warnung für Signal <signal>: <what>".
std::string SignalWarning(const std::string& signal, const std::string& what);

// Why a channel of the group is left out of the import, its values being
// delivered by no reader: its bits lie outside its record, or its type and
// width have no numeric form (a text, a byte array, a float of another
// width). Empty when its values are delivered (or the group has no records).
std::string LeftOutBecause(const mdf::CDGBlock& dg, const mdf::CCNBlock& cn);

}  // namespace pellor
