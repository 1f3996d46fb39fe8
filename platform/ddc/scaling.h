// NI scaling: the chain of scales that a channel's (or its group's, or the
// file's) "NI_Scale[k]_..." properties describe, from the stored values, or
// the values of the channel's DAQmx scalers, to the values delivered.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/ddc/model.h"

namespace ddc {

// A value of the chain: a leaf (an input read from the file) or the output of a step.
struct ScaleRef {
  bool leaf = true;
  uint32_t index = 0;
};

struct ScaleStep {
  enum class Kind { Linear, Polynomial, Table, Add, Subtract };
  Kind kind = Kind::Linear;
  ScaleRef a, b;  // inputs; b for Add and Subtract only
  // Linear: slope, intercept. Polynomial: c0, c1, ... Table: the rising x
  // values, then their y values.
  std::vector<double> p;
};

// The chain that one property list's scales describe, shared by every
// channel that takes its scaling from that list.
struct ScaleChain {
  std::vector<int64_t> leaves;   // Scaling::kStored or a DAQmx scale id
  std::vector<ScaleStep> steps;  // each step's inputs come before it
  ScaleRef output;               // a leaf: delivered in its own type; a step: as doubles
};

// One channel's scaling: the chain, and the type of each of its leaves in that channel.
struct Scaling {
  static constexpr int64_t kStored = -1;  // leaf: the stored values
  std::shared_ptr<const ScaleChain> chain;
  std::vector<DDCDataType> leaf_types;
};

// Works out every number channel's scaling once the file is read: sets its
// stored type, its scaling and delivered type, or why it cannot be delivered.
void ApplyScaling(File& file);

// Computes `n` outputs of one step from its inputs.
void ApplyStep(const ScaleStep& step, const double* a, const double* b, size_t n, double* out);

}  // namespace ddc
