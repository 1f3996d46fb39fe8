#include "platform/ddc/scaling.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/win32/codepage.h"

namespace ddc {
namespace {

constexpr std::string_view kScalePrefix = "NI_Scale[";
constexpr std::string_view kTypeSuffix = "]_Scale_Type";
constexpr const char* kNumberOfScales = "NI_Number_Of_Scales";
constexpr const char* kScalingStatus = "NI_Scaling_Status";
// Scales resolved through one another at most, and inputs, steps and
// polynomial coefficients of one chain at most (each value passes every step
// and every coefficient); larger chains count as broken.
constexpr int kMaxChainDepth = 256;
constexpr size_t kMaxChainParts = 256;
// Polynomial coefficients when the size is not stored.
constexpr uint64_t kDefaultCoefficients = 4;

std::string ScaleProperty(uint64_t k, std::string_view suffix) {
  std::string name(kScalePrefix);
  name += std::to_string(k);
  name += "]_";
  name += suffix;
  return name;
}

// The k of a name "NI_Scale[k]_Scale_Type".
std::optional<uint64_t> ScaleTypeIndex(std::string_view name) {
  if (!name.starts_with(kScalePrefix)) return std::nullopt;
  name.remove_prefix(kScalePrefix.size());
  uint64_t k = 0;
  const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), k);
  if (ec != std::errc() || end == name.data()) return std::nullopt;
  if (std::string_view(end, static_cast<size_t>(name.data() + name.size() - end)) != kTypeSuffix)
    return std::nullopt;
  return k;
}

bool HasScales(const PropertyList& p) {
  if (p.Find(kNumberOfScales)) return true;
  for (size_t i = 0; i < p.Size(); ++i)
    if (ScaleTypeIndex(p[i].name)) return true;
  return false;
}

std::optional<double> NumberOf(const Property* p) {
  if (!p) return std::nullopt;
  if (const auto* i = std::get_if<int64_t>(&p->value)) return static_cast<double>(*i);
  if (const auto* u = std::get_if<uint64_t>(&p->value)) return static_cast<double>(*u);
  if (const auto* d = std::get_if<double>(&p->value)) return *d;
  return std::nullopt;
}

// A number property that holds a whole number of at least 0.
std::optional<uint64_t> WholeOf(const Property* p) {
  if (!p) return std::nullopt;
  if (const auto* i = std::get_if<int64_t>(&p->value))
    return *i >= 0 ? std::optional<uint64_t>(static_cast<uint64_t>(*i)) : std::nullopt;
  if (const auto* u = std::get_if<uint64_t>(&p->value)) return *u;
  if (const auto* d = std::get_if<double>(&p->value))
    if (*d >= 0 && *d < 0x1p63 && std::floor(*d) == *d) return static_cast<uint64_t>(*d);
  return std::nullopt;
}

// The number of scales: "NI_Number_Of_Scales", else 1 + the largest k of a
// scale with a type. None when the count is not a whole number.
std::optional<uint64_t> ScaleCount(const PropertyList& p) {
  if (const Property* n = p.Find(kNumberOfScales)) return WholeOf(n);
  uint64_t count = 0;
  for (size_t i = 0; i < p.Size(); ++i)
    if (const std::optional<uint64_t> k = ScaleTypeIndex(p[i].name); k && *k < UINT64_MAX)
      count = std::max(count, *k + 1);
  return count;
}

const Property* FirstFound(std::initializer_list<const PropertyList*> lists, const char* name) {
  for (const PropertyList* list : lists)
    if (const Property* p = list->Find(name)) return p;
  return nullptr;
}

// The runs of the channel's values in the TDMS index; none for other sources.
const std::vector<TdmsRunRef>* RunsOf(const Channel& channel) {
  const auto* tdms = std::get_if<TdmsValues>(&channel.source);
  return tdms ? &tdms->runs : nullptr;
}

// The type of the channel's DAQmx scaler with this scale id, which every run
// of its values must have; none when one has not.
std::optional<DDCDataType> ScalerType(const File& file, const Channel& channel, int64_t id) {
  const std::vector<TdmsRunRef>* runs = RunsOf(channel);
  if (!runs || runs->empty()) return std::nullopt;
  std::optional<DDCDataType> type;
  for (const TdmsRunRef& ref : *runs) {
    const TdmsSlot& slot = file.tdms.runs[ref.run].layout.slots[ref.slot];
    const auto it = std::find_if(slot.scalers.begin(), slot.scalers.end(),
                                 [&](const DaqmxScaler& s) { return s.scale_id == id; });
    if (it == slot.scalers.end() || (type && *type != it->type)) return std::nullopt;
    type = it->type;
  }
  return type;
}

bool SeveralScalers(const File& file, const Channel& channel) {
  if (const std::vector<TdmsRunRef>* runs = RunsOf(channel))
    for (const TdmsRunRef& ref : *runs)
      if (file.tdms.runs[ref.run].layout.slots[ref.slot].scalers.size() > 1) return true;
  return false;
}

enum class ScaleType { Linear, Polynomial, Table, Add, Subtract, AdvancedAPI };

struct KnownType {
  std::string_view name;
  std::optional<ScaleType> computed;
  Status refused;  // the reason when it is not computed
};
constexpr KnownType kScaleTypes[] = {
    {"Linear", ScaleType::Linear, 0},
    {"Polynomial", ScaleType::Polynomial, 0},
    {"Table", ScaleType::Table, 0},
    {"Add", ScaleType::Add, 0},
    {"Subtract", ScaleType::Subtract, 0},
    {"AdvancedAPI", ScaleType::AdvancedAPI, 0},
    {"RTD", std::nullopt, DDC_ErrScaleRTD},
    {"Thermistor", std::nullopt, DDC_ErrScaleThermistor},
    {"Thermocouple", std::nullopt, DDC_ErrScaleThermocouple},
    {"Strain", std::nullopt, DDC_ErrScaleStrain},
};

// Builds the chain of the scales of one property list; which type each of
// its leaves has is a matter of the channel that takes it.
class ChainBuilder {
 public:
  ChainBuilder(const PropertyList& scales, uint64_t count) : scales_(scales), count_(count) {}

  Status Build(ScaleChain& out) {
    ScaleRef output;
    if (Status s = Resolve(count_ - 1, 0, output)) return s;
    chain_.output = output;
    out = std::move(chain_);
    return DDC_NoError;
  }

 private:
  const Property* Find(uint64_t k, std::string_view suffix) const {
    return scales_.Find(ScaleProperty(k, suffix));
  }

  Status Leaf(int64_t id, ScaleRef& ref) {
    for (size_t i = 0; i < chain_.leaves.size(); ++i)
      if (chain_.leaves[i] == id) {
        ref = {true, static_cast<uint32_t>(i)};
        return DDC_NoError;
      }
    if (Parts() >= kMaxChainParts) return DDC_ErrScaleParameter;
    ref = {true, static_cast<uint32_t>(chain_.leaves.size())};
    chain_.leaves.push_back(id);
    return DDC_NoError;
  }

  // The input that "NI_Scale[k]_<suffix>" names: absent or 0xFFFFFFFF the stored values.
  Status Input(uint64_t k, const std::string& suffix, int depth, ScaleRef& ref) {
    const Property* p = Find(k, suffix);
    if (!p) return Leaf(Scaling::kStored, ref);
    const std::optional<double> source = NumberOf(p);
    if (source == 4294967295.0 || source == -1.0) return Leaf(Scaling::kStored, ref);
    const std::optional<uint64_t> j = WholeOf(p);
    if (!j || *j >= count_) return DDC_ErrScaleInput;
    return Resolve(*j, depth + 1, ref);
  }

  // `n` numbers "NI_Scale[k]_<name>[i]".
  Status Numbers(uint64_t k, std::string_view name, uint64_t n, std::vector<double>& out) const {
    // Each number is a property of its own: more than the list holds cannot be there.
    if (n == 0 || n > scales_.Size()) return DDC_ErrScaleParameter;
    for (uint64_t i = 0; i < n; ++i) {
      const std::optional<double> v =
          NumberOf(Find(k, std::string(name) + "[" + std::to_string(i) + "]"));
      if (!v || std::isnan(*v)) return DDC_ErrScaleParameter;
      out.push_back(*v);
    }
    return DDC_NoError;
  }

  size_t Parts() const { return chain_.leaves.size() + chain_.steps.size() + coefficients_; }

  Status AddStep(ScaleStep step, ScaleRef& ref) {
    if (Parts() >= kMaxChainParts) return DDC_ErrScaleParameter;
    ref = {false, static_cast<uint32_t>(chain_.steps.size())};
    chain_.steps.push_back(std::move(step));
    return DDC_NoError;
  }

  Status Resolve(uint64_t k, int depth, ScaleRef& ref) {
    if (auto it = resolved_.find(k); it != resolved_.end()) {
      ref = it->second;
      return DDC_NoError;
    }
    if (visiting_.count(k)) return DDC_ErrScaleCycle;
    if (depth > kMaxChainDepth) return DDC_ErrScaleParameter;
    const Property* type_property = Find(k, "Scale_Type");
    if (!type_property) {
      if (k > INT64_MAX) return DDC_ErrScaleParameter;
      return Leaf(static_cast<int64_t>(k), ref);  // the DAQmx scaler of this scale id
    }
    const auto* type_name = std::get_if<std::string>(&type_property->value);
    const KnownType* type = nullptr;
    for (const KnownType& t : kScaleTypes)
      if (type_name && winport::EqualsNoCase(*type_name, t.name)) type = &t;
    if (!type) return DDC_ErrScaleUnknown;
    if (!type->computed) return type->refused;
    visiting_.insert(k);
    const Status s = Compute(*type->computed, k, std::string(type->name), depth, ref);
    visiting_.erase(k);
    if (s == DDC_NoError) resolved_.emplace(k, ref);
    return s;
  }

  // Scale k of a computed type: its step behind the steps of its inputs.
  Status Compute(ScaleType type, uint64_t k, const std::string& name, int depth, ScaleRef& ref) {
    ScaleStep step;
    switch (type) {
      case ScaleType::AdvancedAPI:  // passes its input through
        return Input(k, name + "_Input_Source", depth, ref);
      case ScaleType::Add:
      case ScaleType::Subtract:
        step.kind = type == ScaleType::Add ? ScaleStep::Kind::Add : ScaleStep::Kind::Subtract;
        if (Status s = Input(k, name + "_Left_Operand_Input_Source", depth, step.a)) return s;
        if (Status s = Input(k, name + "_Right_Operand_Input_Source", depth, step.b)) return s;
        return AddStep(std::move(step), ref);
      default:
        if (Status s = Parameters(type, k, step)) return s;
        if (Status s = Input(k, name + "_Input_Source", depth, step.a)) return s;
        return AddStep(std::move(step), ref);
    }
  }

  // The kind and parameters of a Linear, Polynomial or Table scale.
  Status Parameters(ScaleType type, uint64_t k, ScaleStep& step) {
    if (type == ScaleType::Linear) {
      step.kind = ScaleStep::Kind::Linear;
      const std::optional<double> slope = NumberOf(Find(k, "Linear_Slope"));
      const std::optional<double> intercept = NumberOf(Find(k, "Linear_Y_Intercept"));
      if (!slope || !intercept) return DDC_ErrScaleParameter;
      step.p = {*slope, *intercept};
      return DDC_NoError;
    }
    if (type == ScaleType::Polynomial) {
      step.kind = ScaleStep::Kind::Polynomial;
      const Property* size = Find(k, "Polynomial_Coefficients_Size");
      const std::optional<uint64_t> n = size ? WholeOf(size) : kDefaultCoefficients;
      if (!n || *n > kMaxChainParts - Parts()) return DDC_ErrScaleParameter;
      coefficients_ += static_cast<size_t>(*n);
      return Numbers(k, "Polynomial_Coefficients", *n, step.p);
    }
    step.kind = ScaleStep::Kind::Table;
    const std::optional<uint64_t> nx = WholeOf(Find(k, "Table_Pre_Scaled_Values_Size"));
    const std::optional<uint64_t> ny = WholeOf(Find(k, "Table_Scaled_Values_Size"));
    if (!nx || !ny) return DDC_ErrScaleParameter;
    if (*nx != *ny) return DDC_ErrScaleTableSizes;
    std::vector<double> x, y;
    if (Status s = Numbers(k, "Table_Pre_Scaled_Values", *nx, x)) return s;
    if (Status s = Numbers(k, "Table_Scaled_Values", *ny, y)) return s;
    // The x values rise, or fall and are taken in reverse.
    if (x.size() > 1 && x.back() < x.front()) {
      std::reverse(x.begin(), x.end());
      std::reverse(y.begin(), y.end());
    }
    if (!std::is_sorted(x.begin(), x.end())) return DDC_ErrScaleParameter;
    step.p = std::move(x);
    step.p.insert(step.p.end(), y.begin(), y.end());
    return DDC_NoError;
  }

  const PropertyList& scales_;
  const uint64_t count_;
  ScaleChain chain_;
  size_t coefficients_ = 0;  // of the polynomials in chain_
  std::unordered_map<uint64_t, ScaleRef> resolved_;
  std::unordered_set<uint64_t> visiting_;
};

// The chain of one property list's scales, or why there is none; no chain
// (and no error) when the list counts no scales.
struct CompiledChain {
  Status status = DDC_NoError;
  std::shared_ptr<const ScaleChain> chain;
};

CompiledChain CompileChain(const PropertyList& scales) {
  const std::optional<uint64_t> count = ScaleCount(scales);
  if (!count) return {DDC_ErrScaleParameter, nullptr};
  if (*count == 0) return {};
  auto chain = std::make_shared<ScaleChain>();
  if (Status s = ChainBuilder(scales, *count).Build(*chain)) return {s, nullptr};
  return {DDC_NoError, std::move(chain)};
}

// The channel's scaling from the chain of its scales: none when it delivers
// the stored values. A leaf that is a DAQmx scaler needs a scaler of that
// scale id in every run of the channel's values.
Status ScaleChannel(const File& file, const CompiledChain& compiled, Channel& channel) {
  if (compiled.status != DDC_NoError || !compiled.chain) return compiled.status;
  const ScaleChain& chain = *compiled.chain;
  const ScaleRef out = chain.output;
  if (out.leaf && chain.leaves[out.index] == Scaling::kStored) return DDC_NoError;
  auto scaling = std::make_shared<Scaling>();
  scaling->chain = compiled.chain;
  for (const int64_t id : chain.leaves) {
    const std::optional<DDCDataType> type =
        id == Scaling::kStored ? std::optional(channel.stored) : ScalerType(file, channel, id);
    if (!type) return DDC_ErrScaleParameter;  // a scale without a type and no scaler of its id
    scaling->leaf_types.push_back(*type);
  }
  channel.type = out.leaf ? scaling->leaf_types[out.index] : DDC_TypeDouble;
  channel.scaling = std::move(scaling);
  return DDC_NoError;
}

}  // namespace

void ApplyScaling(File& file) {
  // Each list's chain is built once, however many channels take it.
  std::unordered_map<const PropertyList*, CompiledChain> chains;
  const bool file_scales = HasScales(file.properties);
  for (auto& group : file.groups) {
    const bool group_scales = HasScales(group->properties);
    for (auto& c : group->channels) {
      Channel& channel = *c;
      channel.stored = channel.type;
      if (!IsNumberType(channel.stored)) continue;
      const PropertyList* scales = HasScales(channel.properties) ? &channel.properties
                                   : group_scales                ? &group->properties
                                   : file_scales                 ? &file.properties
                                                                 : nullptr;
      // "scaled": the stored values are physical already.
      const Property* status =
          FirstFound({&channel.properties, &group->properties, &file.properties}, kScalingStatus);
      const auto* status_text = status ? std::get_if<std::string>(&status->value) : nullptr;
      if (status_text && winport::EqualsNoCase(*status_text, "scaled")) scales = nullptr;
      Status s = DDC_NoError;
      if (scales) {
        auto it = chains.find(scales);
        if (it == chains.end()) it = chains.emplace(scales, CompileChain(*scales)).first;
        s = ScaleChannel(file, it->second, channel);
      }
      // Which of several raw values is the physical one only a scaling can say.
      if (s == DDC_NoError && !channel.scaling && SeveralScalers(file, channel)) s = DDC_ErrScalingMissing;
      if (s != DDC_NoError) {
        channel.unusable = s;
        channel.type = DDC_TypeUnsupported;
        channel.scaling.reset();
      }
    }
  }
}

void ApplyStep(const ScaleStep& step, const double* a, const double* b, size_t n, double* out) {
  const std::vector<double>& p = step.p;
  switch (step.kind) {
    case ScaleStep::Kind::Linear: {
      const double slope = p[0], intercept = p[1];
      for (size_t i = 0; i < n; ++i) out[i] = a[i] * slope + intercept;
      break;
    }
    case ScaleStep::Kind::Polynomial:
      for (size_t i = 0; i < n; ++i) {
        double y = p.back();
        for (size_t c = p.size() - 1; c-- > 0;) y = y * a[i] + p[c];
        out[i] = y;
      }
      break;
    case ScaleStep::Kind::Table: {
      const size_t m = p.size() / 2;
      const double* x = p.data();
      const double* y = p.data() + m;
      for (size_t i = 0; i < n; ++i) {
        const double v = a[i];
        if (std::isnan(v)) out[i] = v;
        else if (v <= x[0]) out[i] = y[0];
        else if (v >= x[m - 1]) out[i] = y[m - 1];
        else {
          // x[j] <= v < x[j + 1], so the step is never empty.
          const size_t j = static_cast<size_t>(std::upper_bound(x, x + m, v) - x) - 1;
          out[i] = (y[j + 1] - y[j]) / (x[j + 1] - x[j]) * (v - x[j]) + y[j];
        }
      }
      break;
    }
    case ScaleStep::Kind::Add:
      for (size_t i = 0; i < n; ++i) out[i] = a[i] + b[i];
      break;
    case ScaleStep::Kind::Subtract:
      for (size_t i = 0; i < n; ++i) out[i] = a[i] - b[i];
      break;
  }
}

}  // namespace ddc
