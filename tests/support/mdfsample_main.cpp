// mdfsample PATH: writes the bundled sample measurement, a small MDF 3.30
// file of a test-bench run with an engine group at 100 Hz and a vehicle group
// at 10 Hz, smooth signals, and conversions, extensions and texts of the
// common kinds.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <numbers>
#include <string_view>

#include "tests/support/mdf_writer.h"

using namespace testsupport;

namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

// Oil temperature sensor: raw counts to degrees Celsius, raw ascending.
const std::vector<std::pair<double, double>> kOilSensor = {
    {0, -40}, {1000, 20}, {2000, 60}, {3000, 100}, {4095, 150}};

// The raw count that the sensor table maps to `celsius`.
double OilRaw(double celsius) {
  for (size_t i = 1; i < kOilSensor.size(); ++i) {
    const auto [r0, p0] = kOilSensor[i - 1];
    const auto [r1, p1] = kOilSensor[i];
    if (celsius <= p1) return r0 + (celsius - p0) * (r1 - r0) / (p1 - p0);
  }
  return kOilSensor.back().first;
}

ChannelDef Channel(CnSpec cn, std::function<double(uint32_t)> value, std::string comment) {
  ChannelDef c;
  c.cn = std::move(cn);
  c.value = std::move(value);
  c.comment = std::move(comment);
  return c;
}

GroupDef EngineGroup() {
  constexpr double kStep = 0.01;
  auto t = [](uint32_t r) { return r * kStep; };
  GroupDef g;
  g.records = 3000;
  g.autoLayout = false;
  g.comment = "Motordaten, 100 Hz";

  ChannelDef time = Channel({.channelType = 1, .name = "time", .description = "Zeit",
                             .startBit = 0, .bits = 64, .dataType = dt::kFloat,
                             .sampleRate = kStep},
                            t, "Zeitkanal der Motordaten");
  time.cc = CcLinear(1, 0, "s");
  g.channels.push_back(time);

  ChannelDef nmot = Channel(
      {.name = "n_mot", .description = "Motordrehzahl", .startBit = 64, .bits = 16,
       .dataType = dt::kUInt, .rangeValid = 1, .minRaw = 0, .maxRaw = 32000, .sampleRate = kStep},
      [t](uint32_t r) {
        const double rpm = 2000 + 1500 * std::sin(kTwoPi * t(r) / 30) +
                           300 * std::sin(kTwoPi * t(r) / 3.7);
        return rpm / 0.25;
      },
      "Drehzahl aus dem Kurbelwellengeber,\ngefiltert");
  nmot.cc = CcLinear(0.25, 0, "1/min");
  nmot.ce = CeModule(2, 1, 0x1F40, "Motorsteuergeraet", "ECU_MS1");
  nmot.longName = "Motordrehzahl_Kurbelwelle_gefiltert_100Hz";
  nmot.displayName = "Drehzahl";
  g.channels.push_back(nmot);

  ChannelDef oil = Channel(
      {.name = "T_oel", .description = "\xD6ltemperatur", .startBit = 80, .bits = 12,
       .dataType = dt::kUInt, .sampleRate = kStep},
      [t](uint32_t r) { return std::round(OilRaw(95 - 35 * std::exp(-t(r) / 10))); },
      "\xD6ltemperatur in der Wanne (NTC)");
  oil.cc = CcTable(kOilSensor, true, "\xB0" "C");
  oil.longName = "Motoroeltemperatur_Wanne";
  g.channels.push_back(oil);

  ChannelDef gear = Channel(
      {.name = "Gang", .description = "eingelegter Gang", .startBit = 92, .bits = 4,
       .dataType = dt::kUInt, .sampleRate = kStep},
      [t](uint32_t r) { return static_cast<double>(static_cast<int>(t(r) / 5) % 6); }, "");
  gear.cc = CcTextTable({{0, "Leerlauf"}, {1, "1. Gang"}, {2, "2. Gang"}, {3, "3. Gang"},
                         {4, "4. Gang"}, {5, "5. Gang"}});
  g.channels.push_back(gear);

  ChannelDef status = Channel(
      {.name = "Status", .description = "Zustand der Steuerung", .startBit = 96, .bits = 2,
       .dataType = dt::kUInt, .sampleRate = kStep},
      [t](uint32_t r) {
        const double s = t(r);
        return s < 1 ? 0.0 : (s >= 20 && s < 21) ? 2.0 : 1.0;
      },
      "0 aus, 1 bereit, 2 und 3 Fehler");
  status.cc = CcTextRange("undefiniert",
                          {CcRange{0, 0, "AUS"}, CcRange{1, 1, "Bereit"}, CcRange{2, 3, "Fehler"}});
  g.channels.push_back(status);

  ChannelDef rail = Channel(
      {.name = "p_rail", .description = "Raildruck", .startBit = 104, .bits = 32,
       .dataType = dt::kFloat, .sampleRate = kStep},
      [t](uint32_t r) { return 800 + 400 * std::sin(kTwoPi * t(r) / 30 - 0.3); }, "");
  rail.cc = CcIdentity();
  rail.cc->unit = "bar";
  g.channels.push_back(rail);

  ChannelDef torque = Channel(
      {.name = "M_ist", .description = "Ist-Drehmoment", .startBit = 136, .bits = 16,
       .dataType = dt::kIntMotorola, .sampleRate = kStep},
      [t](uint32_t r) {
        const double nm = 150 + 120 * std::sin(kTwoPi * t(r) / 30 + 0.5) +
                          15 * std::sin(kTwoPi * t(r) / 2.5);
        return nm / 0.1;
      },
      "Drehmoment laut CAN-Botschaft MOTOR_1");
  torque.cc = CcLinear(0.1, 0, "Nm");
  torque.ce = CeCan(0x1A0, 1, "MOTOR_1", "ECU_MS1");
  g.channels.push_back(torque);

  g.channels.push_back(Channel({.name = "Zaehler", .description = "Botschaftsz\xE4hler",
                                .startBit = 152, .bits = 32, .dataType = dt::kUInt,
                                .sampleRate = kStep},
                               [](uint32_t r) { return static_cast<double>(r); }, ""));
  return g;
}

GroupDef VehicleGroup() {
  constexpr double kStep = 0.1;
  auto t = [](uint32_t r) { return r * kStep; };
  GroupDef g;
  g.records = 400;
  g.recordIds = 1;
  g.recordId = 1;
  g.comment = "Fahrzeugdaten, 10 Hz";

  ChannelDef time = Channel({.channelType = 1, .name = "time", .description = "Zeit",
                             .bits = 64, .dataType = dt::kDouble, .sampleRate = kStep},
                            t, "");
  time.cc = CcLinear(1, 0, "s");
  g.channels.push_back(time);

  ChannelDef speed = Channel(
      {.name = "v_fzg", .description = "Fahrzeuggeschwindigkeit", .bits = 16,
       .dataType = dt::kUInt, .sampleRate = kStep},
      [t](uint32_t r) { return 50 * (1 - std::cos(kTwoPi * t(r) / 40)) / 0.01; },
      "Geschwindigkeit aus den Raddrehzahlen");
  speed.cc = CcLinear(0.01, 0, "km/h");
  speed.longName = "Fahrzeuggeschwindigkeit_Raddrehzahlmittel";
  g.channels.push_back(speed);

  g.channels.push_back(Channel(
      {.name = "a_quer", .description = "Querbeschleunigung", .bits = 64,
       .dataType = dt::kDoubleMotorola, .sampleRate = kStep},
      [t](uint32_t r) { return 3 * std::sin(kTwoPi * t(r) / 8); }, "in m/s\xB2"));

  ChannelDef pedal = Channel(
      {.name = "Pedal", .description = "Fahrpedalstellung", .bits = 10, .dataType = dt::kUInt,
       .sampleRate = kStep},
      [t](uint32_t r) { return 10 * (50 + 40 * std::sin(kTwoPi * t(r) / 13)); }, "");
  pedal.cc = CcFormula("X*0.1", "%");
  g.channels.push_back(pedal);

  ChannelDef steer = Channel(
      {.name = "Lenkwinkel", .description = "Lenkradwinkel", .bits = 16, .dataType = dt::kInt,
       .sampleRate = kStep},
      [t](uint32_t r) { return 90 * std::sin(kTwoPi * t(r) / 8 + 1) / 0.1; },
      "positiv nach links");
  steer.cc = CcLinear(0.1, 0, "\xB0");
  steer.ce = CeModule(2, 2, 0x0C00, "Lenkwinkelsensor", "LWS");
  g.channels.push_back(steer);

  ChannelDef phase;
  phase.cn = {.name = "Phase", .description = "Versuchsphase", .bits = 64,
              .dataType = dt::kText, .sampleRate = kStep};
  phase.text = [t](uint32_t r) {
    const double s = t(r);
    return std::string(s < 10 ? "Anfahrt" : s < 30 ? "Konstant" : "Bremsen");
  };
  g.channels.push_back(phase);
  return g;
}

FileDef SampleDef() {
  using namespace std::chrono;
  FileDef def;
  def.id = IdSpec{.formatId = "3.30    ", .programId = "KESTRAVO", .version = 330};
  const auto startUtc = sys_days{year{2024} / 12 / 10} + hours{13} + minutes{5} + seconds{30};
  def.hd = HdSpec{.date = "10:12:2024",
                  .time = "14:05:30",
                  .author = "M. Lindqvist",
                  .organisation = "Pruefstand Nord",
                  .project = "Antrieb 2025",
                  .subject = "Volllast und Stadtfahrt",
                  .startTimeNs = static_cast<uint64_t>(
                      duration_cast<nanoseconds>(startUtc.time_since_epoch()).count()),
                  .utcOffsetHours = 1,
                  .timerId = "Local PC Reference Time"};
  def.fileComment =
      "Beispielmessung vom Pr\xFC" "fstand Nord\r\n"
      "Motor warm gefahren, Stadtfahrt mit Anfahren und Bremsen.";
  def.groups.push_back(EngineGroup());
  def.groups.push_back(VehicleGroup());
  return def;
}

}  // namespace

constexpr const char* kUsage =
    "usage: mdfsample PATH\n"
    "Writes the sample measurement, a small MDF 3.30 file of a test-bench run\n"
    "(an engine group at 100 Hz, a vehicle group at 10 Hz), to PATH.\n";

int main(int argc, char** argv) {
  const std::string_view arg = argc == 2 ? argv[1] : "";
  if (arg == "--help" || arg == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // Any other option is a mistake, never a file name.
  if (argc != 2 || arg.empty() || arg[0] == '-') {
    std::fputs(kUsage, stderr);
    return 2;
  }
  try {
    BuildFile(SampleDef()).writer.Save(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mdfsample: %s\n", e.what());
    return 1;
  }
  return 0;
}
