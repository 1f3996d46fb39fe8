// Opens arbitrary bytes through the connectivity library and reads every
// property of every object and the values of every channel. Input beginning
// with a TDMS lead-in tag is a TDMS file; any other is a TDM header, followed
// by the bytes of its .tdx after a line "<!--TDX-->" (without that line the
// input itself serves as the .tdx). The .tdx is written under the name its
// header's url gives, when that is a plain file name.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ddc/nilibddc.h"

namespace {

std::string TempFolder() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string folder = std::string(base) + "/fuzz_ddc_XXXXXX";
  if (!mkdtemp(folder.data())) __builtin_trap();
  return folder;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) __builtin_trap();
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

// The url of the header's first file element, when it is a plain file name.
std::string TdxName(std::string_view xml) {
  const size_t at = xml.find("url=\"");
  if (at == std::string_view::npos) return "";
  const size_t end = xml.find('"', at + 5);
  if (end == std::string_view::npos) return "";
  const std::string_view name = xml.substr(at + 5, end - at - 5);
  if (name.empty() || name.size() > 64 || name == "." || name == "..") return "";
  for (char c : name)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') return "";
  return std::string(name);
}

template <typename H, typename Count, typename Names, typename Type, typename Length, typename Get>
void ReadProperties(H h, Count count, Names names, Type type, Length length, Get get) {
  unsigned int n = 0;
  if (count(h, &n) != 0) return;
  std::vector<char*> list(std::min(n, 4096u));
  if (names(h, list.data(), list.size()) != 0) return;
  for (char* name : list) {
    DDCDataType t{};
    if (name && type(h, name, &t) == 0) {
      unsigned int len = 0;
      if (t == DDC_TypeString && length(h, name, &len) == 0) {
        std::string text(len + 1, '\0');
        if (get(h, name, text.data(), text.size()) != 0) __builtin_trap();
      } else {
        double d = 0;
        get(h, name, &d, sizeof d);
      }
    }
    DDC_FreeMemory(name);
  }
}

// Reads the values [first, first + n) in the form their type asks for.
void ReadValues(DDCChannelHandle c, DDCDataType type, uint64_t first, uint64_t n) {
  if (type == DDC_TypeChannelTimestamp) {
    std::vector<unsigned int> u(n);
    std::vector<double> f(n);
    DDC_GetDataValuesTimestampComponents(c, first, n, u.data(), u.data(), u.data(), u.data(),
                                         u.data(), u.data(), f.data(), u.data());
  } else if (type == DDC_TypeChannelString) {
    std::vector<char*> texts(n);
    if (DDC_GetDataValues(c, first, n, texts.data()) == 0)
      for (char* t : texts) DDC_FreeMemory(t);
  } else {
    std::vector<uint64_t> values(n);  // room for the widest number
    DDC_GetDataValues(c, first, n, values.data());
  }
}

void ReadChannel(DDCChannelHandle c) {
  ReadProperties(c, DDC_GetNumChannelProperties, DDC_GetChannelPropertyNames,
                 DDC_GetChannelPropertyType, DDC_GetChannelStringPropertyLength,
                 DDC_GetChannelProperty);
  unsigned int y = 0;
  double f = 0;
  DDC_GetChannelPropertyTimestampComponents(c, "minimum", &y, &y, &y, &y, &y, &y, &f, &y);
  DDCDataType type{};
  uint64_t count = 0;
  if (DDC_GetDataType(c, &type) != 0 || DDC_GetNumDataValues(c, &count) != 0) return;
  // The first and the last values, at most 64 Ki of each.
  constexpr uint64_t kMax = 1 << 16;
  ReadValues(c, type, 0, std::min(count, kMax));
  if (count > kMax) ReadValues(c, type, count - kMax, kMax);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string folder = TempFolder();
  static const int cleanup = std::atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  });
  (void)cleanup;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string path, kind, tdx_path;
  if (input.substr(0, 4) == "TDSm") {
    path = folder + "/in.tdms";
    kind = "TDMs";
    WriteFile(path, input);
  } else {
    constexpr std::string_view kMarker = "\n<!--TDX-->\n";
    const size_t marker = input.find(kMarker);
    const std::string_view xml = input.substr(0, marker);
    const std::string_view tdx =
        marker == std::string_view::npos ? input : input.substr(marker + kMarker.size());
    path = folder + "/in.tdm";
    kind = "TDM";
    WriteFile(path, xml);
    const std::string name = TdxName(xml);
    if (!name.empty() && name != "in.tdm") {
      tdx_path = folder + "/" + name;
      WriteFile(tdx_path, tdx);
    }
  }

  DDCFileHandle file = nullptr;
  if (DDC_OpenFileEx(path.c_str(), kind.c_str(), 1, &file) == 0) {
    ReadProperties(file, DDC_GetNumFileProperties, DDC_GetFilePropertyNames,
                   DDC_GetFilePropertyType, DDC_GetFileStringPropertyLength, DDC_GetFileProperty);
    unsigned int y = 0, groups = 0;
    double f = 0;
    DDC_GetFilePropertyTimestampComponents(file, "datetime", &y, &y, &y, &y, &y, &y, &f, &y);
    DDC_GetNumChannelGroups(file, &groups);
    std::vector<DDCChannelGroupHandle> group_list(groups);
    DDC_GetChannelGroups(file, group_list.data(), group_list.size());
    for (DDCChannelGroupHandle g : group_list) {
      ReadProperties(g, DDC_GetNumChannelGroupProperties, DDC_GetChannelGroupPropertyNames,
                     DDC_GetChannelGroupPropertyType, DDC_GetChannelGroupStringPropertyLength,
                     DDC_GetChannelGroupProperty);
      unsigned int channels = 0;
      DDC_GetNumChannels(g, &channels);
      std::vector<DDCChannelHandle> channel_list(channels);
      DDC_GetChannels(g, channel_list.data(), channel_list.size());
      for (DDCChannelHandle c : channel_list) ReadChannel(c);
    }
    DDC_CloseFile(file);
  }
  if (!tdx_path.empty()) std::remove(tdx_path.c_str());
  return 0;
}
