// Writes the seed files of the small modules' fuzz targets from the test
// fixtures: smallseeds <folder of tests/fuzz>.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/support/edas_writer.h"
#include "tests/support/filmor_fixtures.h"
#include "tests/support/rpc_writer.h"
#include "tests/support/tarvix_writer.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fw = testsupport::filmor;
namespace rw = testsupport::rpc;
namespace tw = testsupport::tarvix;
namespace ew = testsupport::edas;

rw::RpcSpec SmallRpc(int64_t p, int64_t g, int64_t f) {
  rw::RpcSpec spec;
  spec.pointsPerFrame = p;
  spec.pointsPerGroup = g;
  spec.frames = f;
  for (int k = 0; k < 2; ++k) {
    rw::RpcChannel c{k == 0 ? "Force X" : "Weg", k == 0 ? "kN" : "mm", "1.0E-02", {}};
    for (int64_t i = 0; i < p * f; ++i) c.values.push_back(static_cast<int16_t>(i * (k + 1) - 7));
    spec.channels.push_back(c);
  }
  return spec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: smallseeds <tests/fuzz folder>\n");
    return 2;
  }
  const std::string fuzz = argv[1];
  auto write = [&](const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(fuzz + "/" + path).parent_path());
    testsupport::WriteFileBytes(fuzz + "/" + path, bytes);
  };
  fw::Layout forms;
  forms.form = fw::SchemaForm::OwnTypes;
  write("filmor_seeds/all_columns.flm", fw::WriteFilmorFile(fw::AllColumns()));
  write("filmor_seeds/schema_forms.flm", fw::WriteFilmorFile(fw::AllColumns(), forms));
  write("filmor_seeds/two_groups.flm", fw::WriteFilmorFile(fw::TwoGroups()));

  write("rpc_seeds/padded.rsp", rw::WriteRpcFile(SmallRpc(4, 6, 5)));
  rw::RpcSpec unpadded = SmallRpc(4, 6, 5);
  unpadded.padLastGroup = false;
  unpadded.format = "BINARY_IEEE_BIG_END";
  write("rpc_seeds/unpadded_big_endian.rsp", rw::WriteRpcFile(unpadded));
  write("rpc_seeds/group_below_frame.rsp", rw::WriteRpcFile(SmallRpc(8, 4, 3)));

  std::string tarvix = tw::HeadBytes({.recordSize = 6, .channels = 2});
  tarvix += tw::ChannelRecord({.id = 1, .name = "Zeitbasis", .label = "t | time", .unit = "s", .typeCode = 5});
  tarvix += tw::LongLabelRecord(1, 1, '\'', "xxxxLongLabel='Zeit in Sekunden'");
  tarvix += tw::ChannelRecord({.id = 2, .name = "Kraft", .label = "F", .unit = "N", .typeCode = 3});
  write("tarvix_seeds/timebase.hdr", tarvix + tw::EndRecord());
  tarvix += tw::DataFileRecord("x.dta", 8) + tw::SamplingRecord(100, 50) + tw::TextRecord(1, 16, "Meier");
  tarvix += tw::ParameterRecord(1, "P", "p", "bar", 10, tw::F64(2.5)) + tw::ParameterRecord(2, "", "", "", 241, "Text");
  write("tarvix_seeds/records.hdr", tarvix + tw::RemarkRecord(std::string(300, 'k')) + tw::EndRecord());

  ew::EdasFile edas;
  edas.header = ew::Lines({"typ:int16", "org:block1", "frames:8", "clk:0.01", "starttime:1.2.2004 10:20:30", "endheader"}) +
                ew::ChannelSection({"name:Kraft", "unit:N", "channel_offset:512", "Minscale:-10", "Maxscale:10"}) +
                ew::ChannelSection({"name:Druck", "typ:real", "$Pol.:A", "channel_offset:514"});
  edas.data = {{512, std::string(48, '\x11')}};
  write("edas_seeds/interleaved.eda", ew::WriteEdasFile(edas));
  edas.header = ew::Lines({"typ:uint8", "org:block2", "frames:8", "endheader"}, "\r\n") +
                ew::ChannelSection({"name:a", "channel_offset:512"}, "\r\n") +
                ew::ChannelSection({"name:b", "typ:real64", "frames:5", "channel_offset:600"}, "\r\n");
  edas.magic = "PDAI";
  write("edas_seeds/blocks.eda", ew::WriteEdasFile(edas));
  return 0;
}
