// Data composition: joins the occurrences of one channel name across data
// groups of a file into one time-ordered series with one time axis.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win32/file.h"

namespace mdf {

class CMdf;
class CCNBlock;
class CCGBlock;
class CDGBlock;
class CDataBlock;

// One occurrence of a name: the channel of that name in one channel group.
struct TChanInfo {
  int32_t dataGroup = 0;     // index of the data group (from 1)
  int32_t channelGroup = 0;  // index of the channel group within it (from 1)
  uint16_t channelType = 0;
  double interval = 0;   // sampling interval in seconds; 0 when unknown
  uint32_t records = 0;  // the channel group's record count
};

// A name of the composition and where its series lies in the composed data.
class CChannelInfo {
 public:
  virtual ~CChannelInfo() = default;
  int32_t m_samples = 0;      // entries of the series, gap entries included
  int32_t m_firstValue = -1;  // index of the first value in the composed data
  int32_t m_firstTime = -1;   // index of the first time in the composed data
  bool m_isTime = false;      // the name belongs to time channels
  std::vector<TChanInfo> m_occurrences;
};

class CDataComposition {
 public:
  // Value of a gap entry's time, and the value of a gap without a NoValue marker.
  static constexpr double kNoValue = 1e308;
  // Two times or values within this distance are equal.
  static constexpr double kTolerance = 0.000001;
  // Records decoded per step.
  static constexpr uint32_t kChunk = 4096;

  explicit CDataComposition(CMdf* mdf);
  virtual ~CDataComposition();
  CDataComposition(const CDataComposition&) = delete;
  CDataComposition& operator=(const CDataComposition&) = delete;

  // 1: conflicts are shown in a message box; 0: they go to the host variables.
  void SetShowMessages(int show) { m_showMessages = show; }
  // Adds one occurrence of `name`; 0 (and nothing changed) when the name
  // belongs to time channels and this one is not, or the other way round.
  int AddChannel(const std::string& name, int32_t dataGroup, int32_t channelGroup,
                 uint32_t records, CCNBlock* channel);
  // Stores the interval in every occurrence of every name in that group.
  void SetTimeChannelRate(CCGBlock* group, double interval, int32_t dataGroup,
                          int32_t channelGroup);
  // Builds every name's series; 1 on success, 0 on failure.
  int Calculate();
  // The name's entry; false when the name is not composed.
  bool LookupChannel(const std::string& name, const CChannelInfo*& out) const;
  bool IsBusy() const { return m_busy; }

  // The composed values and times, indexed by a CChannelInfo's first-value and
  // first-time indexes. Names whose series have the same times share one
  // block of times.
  const std::vector<double>& GetComposedData() const { return m_composed; }

  // Reads all records of the block's data group into the group buffer, from
  // the file object's stream when it is open, else from a stream opened here
  // (`opened` is set then). Records the file does not hold are not counted.
  bool ReadDataGroupData(CDataBlock* data, bool& opened);
  // Closes the stream when it was opened here and frees the group buffer.
  void ReleaseGroupData(bool opened);
  // Records held by the group buffer after ReadDataGroupData.
  uint32_t GetGroupRecords() const { return m_groupRecords; }
  const std::vector<uint8_t>& GetGroupBuffer() const { return m_groupBuffer; }

 private:
  struct Group;
  struct Name;
  struct Work;
  // Finds every occurrence's channel group, time channel and channel; false
  // when one of them is missing.
  bool PlanOccurrences(Work& work);
  // Reads each group's records once for its time channel.
  bool ReadTimes(Work& work);
  // Each name's intervals, and where each entry of its series comes from;
  // false when a series would exceed the capacity.
  bool PlanNames(Work& work, uint64_t capacity);
  // Places every series in the composed data, with its times and gap entries.
  bool LayOut(Work& work);
  // Reads each group's records once more and puts the values of all its
  // composed channels in their places.
  void ReadValues(Work& work);
  void ReportConflicts(const Work& work);
  void ReportConflict(const std::string& name, double time, double value, double composed,
                      const TChanInfo& occ);

  // Names in the order they were first added; Calculate walks them in this order.
  std::unordered_map<std::string, std::unique_ptr<CChannelInfo>> m_channels;
  std::vector<std::string> m_order;
  bool m_busy = false;
  CMdf* m_pMDF;
  std::vector<double> m_composed;
  std::vector<uint8_t> m_groupBuffer;
  uint32_t m_groupRecords = 0;
  winport::File m_groupFile;  // the stream ReadDataGroupData opened itself
  int m_showMessages = 1;
};

// Two doubles are equal within CDataComposition::kTolerance.
bool IsNear(double a, double b);

// Writes a host variable: a REG_SZ value under the current user's host
// Variables key. 1 when written, 0 when the key cannot be opened or the value
// cannot be set.
int WriteVariable(const std::string& name, const std::string& text);

}  // namespace mdf
