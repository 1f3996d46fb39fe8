// Data composition: joins the occurrences of one channel name across data
// groups of a file into one time-ordered series with one time axis.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace mdf {

class CMdf;
class CCNBlock;
class CCGBlock;
class CDataBlock;

// One occurrence of a name.
struct TChanInfo {
  int32_t dataGroup = 0;
  int32_t channelGroup = 0;
  uint16_t channelType = 0;
  double interval = 0;
  int32_t records = 0;
  CCNBlock* channel = nullptr;
};

class CChannelInfo {
 public:
  virtual ~CChannelInfo() = default;
  int32_t m_samples = 0;
  int32_t m_firstValue = -1;
  int32_t m_firstTime = -1;
  bool m_isTime = false;
  std::vector<TChanInfo> m_occurrences;
};

class CDataComposition {
 public:
  explicit CDataComposition(CMdf* mdf);
  virtual ~CDataComposition();

  void SetShowMessages(int show) { m_showMessages = show; }
  int AddChannel(const std::string& name, int32_t dataGroup, int32_t channelGroup,
                 uint32_t records, CCNBlock* channel);
  void SetTimeChannelRate(CCGBlock* group, double interval, int32_t dataGroup,
                          int32_t channelGroup);
  int Calculate();
  bool LookupChannel(const std::string& name, CChannelInfo*& out) const;
  // The composed values and times, indexed by a CChannelInfo's first-value and first-time indexes.
  const std::vector<double>& GetComposedData() const { return m_composed; }

 private:
  std::unordered_map<std::string, std::unique_ptr<CChannelInfo>> m_channels;
  std::vector<std::string> m_order;  // names in the order they were added
  [[maybe_unused]] bool m_busy = false;
  [[maybe_unused]] CMdf* m_pMDF;
  std::vector<double> m_composed;
  int m_showMessages = 1;
};

// Writes a host variable (REG_SZ under the current user's host Variables key);
// 0 when the key cannot be opened.
int WriteVariable(const std::string& name, const std::string& text);

}  // namespace mdf
